// game_files.mjs: a game folder as the core sees it, built from the page's listing: folders, and
// files whose bytes the browser reads only when a run of the core asks for them. A file keeps what
// was read of it, so that every run over the folder shares one cache and no range is read twice.
import { Directory, Fd, Inode, wasi } from '@bjorn3/browser_wasi_shim';

// The least a read takes from the browser: a map's header and an entity text that follows it, or
// a pack's header and a small directory, come in one read, where the core asks for each in turn.
const LEAST_READ = 4096;

// A file of the listing: `blob` is the browser's File, read a range at a time.
export class LazyFile extends Inode {
  constructor(blob) {
    super();
    this.blob = blob;
    // Ranges read, as { at, bytes } or { at, end, error } for a range the browser refused.
    this.ranges = [];
  }

  // Asked once: a picked file's size costs Chromium a look at the disk each time it is asked, a
  // quarter of the page's time over a folder's thousand files when every read asked it.
  get size() {
    this.known ??= this.blob.size;
    return this.known;
  }

  // The range read that holds at..at + length (cut at the file's end), or undefined.
  cached(at, length) {
    const end = Math.min(at + length, this.size);
    return this.ranges.find((range) => range.at <= at && (range.end ?? range.at + range.bytes.length) >= end);
  }

  // Reads at..at + length (at least LEAST_READ bytes) unless a range read already holds it. A file
  // that has changed since it was listed fails here: the run then reports it as unreadable.
  async fill(at, length) {
    if (this.cached(at, length)) return;
    const end = Math.min(at + Math.max(length, LEAST_READ), this.size);
    try {
      this.ranges.push({ at, bytes: new Uint8Array(await this.blob.slice(at, end).arrayBuffer()) });
    } catch (error) {
      if (error.name === 'AbortError') throw error;
      this.ranges.push({ at, end, error });
    }
  }

  path_open() {
    return { ret: wasi.ERRNO_SUCCESS, fd_obj: new LazyOpenFile(this) };
  }

  stat() {
    return new wasi.Filestat(this.ino, wasi.FILETYPE_REGULAR_FILE, BigInt(this.size));
  }
}

// An open LazyFile: reads answer from its ranges only; a run waits for `fill` before it reads.
export class LazyOpenFile extends Fd {
  constructor(file) {
    super();
    this.file = file;
    this.position = 0;
  }

  fd_fdstat_get() {
    return { ret: wasi.ERRNO_SUCCESS, fdstat: new wasi.Fdstat(wasi.FILETYPE_REGULAR_FILE, 0) };
  }

  fd_filestat_get() {
    return { ret: wasi.ERRNO_SUCCESS, filestat: this.file.stat() };
  }

  fd_read(size) {
    const range = this.file.cached(this.position, size);
    if (!range || range.error) return { ret: wasi.ERRNO_IO, data: new Uint8Array() };
    const from = this.position - range.at;
    const data = range.bytes.subarray(from, from + size);
    this.position += data.length;
    return { ret: wasi.ERRNO_SUCCESS, data };
  }

  fd_seek(offset, whence) {
    const base = {
      [wasi.WHENCE_SET]: 0,
      [wasi.WHENCE_CUR]: this.position,
      [wasi.WHENCE_END]: this.file.size,
    };
    const position = base[whence] + Number(offset);
    if (!(whence in base) || position < 0) return { ret: wasi.ERRNO_INVAL, offset: 0n };
    this.position = position;
    return { ret: wasi.ERRNO_SUCCESS, offset: BigInt(position) };
  }

  fd_tell() {
    return { ret: wasi.ERRNO_SUCCESS, offset: BigInt(this.position) };
  }
}

// The listing's folders as a tree: each folder a Map of names to trees or LazyFiles. `files` are
// the listing's { path, blob } with paths below the picked folder's own name; `keep(path)` says
// which files go in.
export function folderTree(files, keep = () => true) {
  const root = new Map();
  for (const { path, lazy } of files) {
    if (!keep(path)) continue;
    const names = path.split('/');
    let folder = root;
    for (const name of names.slice(0, -1)) {
      if (!(folder.get(name) instanceof Map)) folder.set(name, new Map());
      folder = folder.get(name);
    }
    folder.set(names.at(-1), lazy);
  }
  return root;
}

// The shim's Directory of a tree; the same tree gives the same Directory (and file number), as a
// folder reached by two paths (the mod's folder when it is id1 itself) does on disk.
export function directoryOf(tree, made = new Map()) {
  if (made.has(tree)) return made.get(tree);
  const contents = new Map();
  for (const [name, entry] of tree)
    contents.set(name, entry instanceof Map ? directoryOf(entry, made) : entry);
  const directory = new Directory(contents);
  made.set(tree, directory);
  return directory;
}
