// save.mjs: writes the patched start of progs.dat into the file on disk itself, and the fields' names
// into the cmaps.cfg beside it, where the browser lets a page write into a file or folder the user
// picked (the File System Access API: Chromium's).

export const canSave = typeof window.showOpenFilePicker === 'function';

// The progs.dat on disk that a save writes into: a promise of its handle, or of null until one
// is picked in the browser's dialog or dropped on the page.
let target = Promise.resolve(null);

// Each failure says so in words of its own, never in those of a save that worked.
export const SAVED = 'Saved into progs.dat.';
const NOT_CHOSEN = 'Nothing was saved: no file was chosen.';
const NOT_SHOWN =
  'Nothing was saved: the file chosen is not the progs.dat shown here (its length or first ' +
  'bytes differ). Save again and choose that one, or pick the other file above to see its names.';
const REFUSED = (name) => `Nothing was saved: the browser was not allowed to write into ${name}`;
const REFUSED_FOLDER = 'Nothing was saved: the browser was not allowed to write into the folder';
const UNREADABLE = (name) => `Nothing was saved: ${name} could not be read again`;
const CHANGED = (name) =>
  `Nothing was saved: ${name} has changed on disk since the folder was read. Pick the folder ` +
  'again to see what it holds now.';
const NO_HANDLES =
  'Nothing was saved: the page can write into the files of a folder only when the folder was picked ' +
  'through "Game folder" in the browser\'s dialog, or dropped on the page. Pick it so, or use the downloads.';
const SAVED_CMAPS = 'Saved cmaps.cfg.';
const SAVED_CMAPS_BAK = 'Saved cmaps.cfg; the one it replaced is kept as cmaps.cfg.bak.';

// A dropped file brings its handle (its getAsFileSystemHandle(), asked while the drop is being
// dispatched, for the item can be read only then); a file picked through the input brings none.
// The files of a folder bring their own.
export function useHandle(handle) {
  target = Promise.resolve(handle).then(
    (found) => (found?.kind === 'file' ? found : null),
    () => null,
  );
}

export function forgetFile() {
  target = Promise.resolve(null);
}

function sameBytes(a, b) {
  return a.length === b.length && a.every((byte, i) => byte === b[i]);
}

// How much of the run's progs.dat to write: up to its last byte that differs from the file's,
// or all of it when the run made the file longer. Every later byte stays as it is on disk.
function changedStretch(patched, head) {
  if (patched.length > head.length) {
    return patched.length;
  }
  let end = patched.length;
  while (end > 0 && patched[end - 1] === head[end - 1]) {
    --end;
  }
  return end;
}

// What to say when the page may not write through a handle (a file's or a folder's), else null.
async function refusal(handle, refused, button) {
  const mode = { mode: 'readwrite' };
  try {
    const granted =
      (await handle.queryPermission(mode)) === 'granted' ||
      (await handle.requestPermission(mode)) === 'granted';
    return granted ? null : `${refused}.`;
  } catch (error) {
    // The browser asks only within a few seconds of a click, and a long look through its dialog
    // can take longer; the handle is kept, so the next click asks at once.
    return `${refused} (${error.message}). Click "${button}" again to be asked.`;
  }
}

// Writes chunks ({ type: 'write', position, data }) into a file through its handle, all of them or
// nothing: the browser writes into a copy of the file and puts it in place at close(), and drops an
// aborted copy.
async function write(handle, chunks, options) {
  const stream = await handle.createWritable(options);
  try {
    for (const chunk of chunks) await stream.write(chunk);
    await stream.close();
  } catch (error) {
    await stream.abort().catch(() => {});
    throw error;
  }
}

const KEEP = { keepExistingData: true };
// The writes of a file's new bytes, or of its old ones back, down to its old size where a run made
// a short progs.dat longer.
const chunksOf = (file, old) => [
  ...file.parts.map(({ position, data, head }) => ({
    type: 'write',
    position,
    data: old ? head.subarray(0, data.length) : data,
  })),
  ...(old ? [{ type: 'truncate', size: file.size }] : []),
];
const and = (names) => names.join(' and ');

// Writes every file's changed bytes, all or nothing. Each file's writes go into the browser's copy
// of it, so a failure before the first close() leaves every file as it was; one at a later close()
// puts back the files already in place, their old bytes written over the new ones. Returns what to
// say where it failed, else null.
async function writeAll(files) {
  const streams = [];
  const abort = (from) => Promise.all(streams.slice(from).map((stream) => stream.abort().catch(() => {})));
  let at = 0;
  try {
    for (; at < files.length; ++at) {
      streams.push(await files[at].handle.createWritable(KEEP));
      for (const chunk of chunksOf(files[at], false)) await streams[at].write(chunk);
    }
  } catch (error) {
    await abort(0);
    return putBack(files, at, 0, error);
  }
  for (at = 0; at < files.length; ++at) {
    try {
      await streams[at].close();
    } catch (error) {
      await abort(at);
      return putBack(files, at, at, error);
    }
  }
  return null;
}

// Puts back the first `done` files, in place before files[at] failed, and says what became of them.
async function putBack(files, at, done, error) {
  const failed = `writing into ${files[at].name} failed (${error.message})`;
  const written = files.slice(0, done);
  for (const file of written) {
    try {
      await write(file.handle, chunksOf(file, true), KEEP);
    } catch (undo) {
      return (
        `Not saved: ${failed}, and ${file.name}, written before it, could not be put back ` +
        `(${undo.message}): it holds the new names, ${files[at].name} the old ones. Save again.`
      );
    }
  }
  const names = and(written.map((file) => file.name));
  return written.length === 0
    ? `Nothing was saved: ${failed}, and ${files.length > 1 ? 'every file is' : 'the file is'} as it was.`
    : `Nothing was saved: ${failed}; ${names}, written before it, ${written.length > 1 ? 'were' : 'was'} ` +
        'put back as it was.';
}

// The handle of each file to write: the folder's own, or for a progs.dat picked alone the one its
// drop brought, else the one picked in the browser's dialog. Returns the handles or what to say.
async function handlesOf(files) {
  if (files.every((file) => file.handle)) return { handles: files.map((file) => file.handle) };
  if (files.length > 1) return { message: NO_HANDLES };
  let handle = await target;
  if (handle === null) {
    try {
      [handle] = await window.showOpenFilePicker();
    } catch (error) {
      return { message: error.name === 'AbortError' ? NOT_CHOSEN : `${NOT_CHOSEN} (${error.message})` };
    }
  }
  target = Promise.resolve(handle);
  return { handles: [handle] };
}

// Writes the patched copies of progs.dat into their files. `files` are { name, handle (or none),
// size, parts }, each part a copy: where it lies in the file (position), its first bytes as read
// (head) and as the run leaves them (patched). Each file must still be the one read: its size and
// each copy's bytes. Returns the message to show, whether it saved, and after a save each file as
// it now is on disk.
export async function saveInto(files) {
  const { handles, message } = await handlesOf(files);
  if (message) return { message };
  for (const [i, file] of files.entries()) {
    try {
      const now = await handles[i].getFile();
      const same = async ({ position, head }) =>
        sameBytes(new Uint8Array(await now.slice(position, position + head.length).arrayBuffer()), head);
      if (now.size !== file.size || !(await Promise.all(file.parts.map(same))).every(Boolean)) {
        const changed = file.handle ? CHANGED(file.name) : NOT_SHOWN;
        forgetFile();
        return { message: changed };
      }
    } catch (error) {
      return { message: `${UNREADABLE(file.name)} (${error.message}).` };
    }
    const refused = await refusal(handles[i], REFUSED(file.name), 'Save into progs.dat');
    if (refused) return { message: refused };
  }
  // Only the bytes the run changed are written; every other byte of the file stays as it is.
  const written = files.map((file, i) => ({
    name: file.name,
    size: file.size,
    handle: handles[i],
    parts: file.parts.map(({ position, head, patched }) => ({
      position,
      head,
      data: patched.subarray(0, changedStretch(patched, head)),
    })),
  }));
  const failed = await writeAll(written);
  if (failed) return { message: failed };
  const saved =
    files.length === 1 && files[0].name === 'progs.dat'
      ? SAVED
      : `Saved into ${and(files.map((f) => f.name))}.`;
  return { message: saved, saved: true, files: await Promise.all(handles.map((handle) => handle.getFile())) };
}

// Writes `bytes` into the cmaps.cfg (`name`: its name as found, in whatever case) of a folder, after
// copying the one on disk at this moment, if there is one, to cmaps.cfg.bak.
export async function saveCmaps(folder, name, bytes) {
  const refused = await refusal(folder, REFUSED_FOLDER, 'Save cmaps.cfg');
  if (refused) {
    return { message: refused };
  }
  const writeFile = async (file, data) => write(await folder.getFileHandle(file, { create: true }), [data]);
  let kept = false;
  try {
    const old = await folder.getFileHandle(name).catch((error) => {
      if (error.name === 'NotFoundError') return null;
      throw error;
    });
    if (old !== null) {
      await writeFile(`${name}.bak`, await old.getFile());
      kept = true;
    }
    await writeFile(name, bytes);
  } catch (error) {
    return {
      message: kept
        ? `cmaps.cfg was not saved (${error.message}): it is as it was, and cmaps.cfg.bak holds a copy of it.`
        : `Nothing was saved: writing cmaps.cfg failed (${error.message}), and it is as it was.`,
    };
  }
  return { message: kept ? SAVED_CMAPS_BAK : SAVED_CMAPS, saved: true };
}
