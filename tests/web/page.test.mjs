// The page in one of Debian's browser engines at one width (VELMORA_ENGINE, VELMORA_WIDTH), served
// from 127.0.0.1 (the origin the file system of Chromium's saves needs) and opened from disk: its
// downloads, saves and alert against the native tool's bytes and error line in the same folder,
// its marks, the game folders it reads, its layout, and not one request leaving it.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import {
  appendFileSync,
  mkdtempSync,
  readdirSync,
  readFileSync,
  rmSync,
  symlinkSync,
  truncateSync,
  writeFileSync,
} from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { join, posix } from 'node:path';
import { after, before, test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { launch } from './browser.mjs';
import { fakeDialogs } from './fake_dialogs.mjs';
import { entriesOf, level, pack, writeFolder } from './game_folder.mjs';

const {
  VELMORA_PAGE,
  VELMORA_NATIVE,
  VELMORA_ENGINE,
  VELMORA_WIDTH,
  VELMORA_BROWSER,
  VELMORA_MAKE_GAME_FOLDER,
} = process.env;
const scratch = mkdtempSync(join(tmpdir(), 'velmora-page-'));
const chromium = VELMORA_ENGINE === 'chromium';
const server = createServer((request, response) => response.end(readFileSync(VELMORA_PAGE)));
let browser;
let served;
before(async () => {
  browser = await launch(VELMORA_ENGINE, Number(VELMORA_WIDTH), VELMORA_BROWSER, {
    scratch,
    init: fakeDialogs,
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  served = `http://127.0.0.1:${server.address().port}/velmora.html`;
});
after(async () => {
  await browser?.close();
  server.close();
  rmSync(scratch, { recursive: true, force: true });
});

let files = 0;
function file(bytes) {
  const path = join(scratch, `file-${++files}`);
  writeFileSync(path, Buffer.from(bytes, 'latin1'));
  return path;
}

// size bytes of filler with no "t!g", and slots for the given digits at 100 + 400 * digit; past
// 70,000 bytes, zeros but for the last byte.
function image(size, digits = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9], area = (d) => `usermap${d}\0oldbyt\0`) {
  const bytes = Buffer.alloc(Math.min(size, 70000), 'progs \x01\xff data \x80 ', 'latin1');
  for (const d of digits) bytes.write(area(d).slice(0, 16) + `lt!g${d}`, 100 + 400 * d, 'latin1');
  const path = file(bytes);
  if (size > bytes.length) {
    truncateSync(path, size - 1);
    appendFileSync(path, '\xa5', 'latin1');
  }
  return path;
}

// What the native tool does in a folder holding these files (cmaps.cfg as latin1 text). An option
// only reads progs.dat, so it gets a link; a run gets a copy, as sparse as the file.
function native(progs, cmaps, args = [], input = undefined) {
  const dir = mkdtempSync(join(scratch, 'native-'));
  if (progs && args.length) symlinkSync(progs, join(dir, 'progs.dat'));
  else if (progs) spawnSync('cp', ['--sparse=always', progs, join(dir, 'progs.dat')]);
  if (cmaps !== null) writeFileSync(join(dir, 'cmaps.cfg'), Buffer.from(cmaps, 'latin1'));
  const run = spawnSync(VELMORA_NATIVE, args, { cwd: dir, input, encoding: 'latin1', maxBuffer: 1 << 20 });
  return { ...run, err: run.stderr.trimEnd(), progs: join(dir, 'progs.dat') };
}
const listed = (progs) => native(progs, null, ['--list']).stdout;
const makeList = (names) =>
  native(null, null, ['--make-list'], Buffer.from(names.join('\n') + '\n', 'latin1')).stdout;
const definitions = (list) => list.split('\n').slice(1); // all but --list's first comment line
const sha = (path) => spawnSync('sha1sum', [path], { encoding: 'latin1' }).stdout.slice(0, 40);
const hashOf = (text) => createHash('sha1').update(text, 'latin1').digest('hex');

// Once the page is open: keeps what each download hands to its link (going on to the engine's own
// download where the test sees that), and reads a file: its size, its first 64 KiB as latin1 text
// and, if asked, a fingerprint of all of it (SHA-1: it tells bytes apart, and it is quick).
function instrument(follow) {
  const blobs = new Map();
  const [create, click] = [URL.createObjectURL, HTMLAnchorElement.prototype.click];
  URL.createObjectURL = (blob) => {
    const url = create(blob);
    blobs.set(url, blob);
    return url;
  };
  window.links = {};
  HTMLAnchorElement.prototype.click = function () {
    window.links[this.download] = blobs.get(this.href);
    if (follow) click.call(this);
  };
  window.readBlob = async (blob, whole) => {
    const bytes = new Uint8Array(await (whole ? blob : blob.slice(0, 65536)).arrayBuffer());
    const sum = whole ? [...new Uint8Array(await crypto.subtle.digest('SHA-1', bytes))] : [];
    let head = '';
    for (let i = 0; i < Math.min(bytes.length, 65536); i += 4096)
      head += String.fromCharCode(...bytes.subarray(i, Math.min(i + 4096, 65536)));
    return { size: blob.size, head, sha: sum.map((byte) => byte.toString(16).padStart(2, '0')).join('') };
  };
  // Nothing wider than the window, and every control shown big enough for a finger.
  window.layout = () => [
    document.documentElement.scrollWidth <= innerWidth,
    [...document.querySelectorAll('input, button, select')].filter(
      (c) => c.getClientRects().length > 0 && (c.offsetWidth < 24 || c.offsetHeight < 24),
    ).length,
  ];
  // Every byte the page reads of a file, each read short of 4 KiB that stops before the file's end,
  // and reads that wait window.readDelay ms, as on a slow disk.
  const [arrayBuffer, slice] = [Blob.prototype.arrayBuffer, Blob.prototype.slice];
  Object.assign(window, { bytesRead: 0, shortReads: 0, readDelay: 0, slowRuns: 0, progress: [] });
  Blob.prototype.slice = function (start = 0, end = this.size) {
    return Object.assign(slice.call(this, start, end), { inside: Math.min(end, this.size) < this.size });
  };
  Blob.prototype.arrayBuffer = async function () {
    if (window.readDelay) await new Promise((resolve) => setTimeout(resolve, window.readDelay));
    const bytes = await arrayBuffer.call(this);
    window.bytesRead += bytes.byteLength;
    window.shortReads += bytes.byteLength < 4096 && this.inside ? 1 : 0;
    return bytes;
  };
  // Runs of the core that start while window.slowRuns is set take that many ms longer, as on a slow
  // machine.
  const instantiate = WebAssembly.instantiate;
  WebAssembly.instantiate = async function (...args) {
    if (window.slowRuns) await new Promise((resolve) => setTimeout(resolve, window.slowRuns));
    return instantiate.apply(this, args);
  };
  // Every progress line shown.
  new MutationObserver(() => window.progress.push(document.getElementById('reading').textContent)).observe(
    document.getElementById('reading'),
    { childList: true, characterData: true, subtree: true },
  );
  if (!window.dialogs) return;
  // Chromium's disk: where each write through a stream ends, and a close() that fails once when
  // asked (window.closeFails), as on a full disk, which no driver can make.
  const stream = FileSystemWritableFileStream.prototype;
  const [write, close] = [stream.write, stream.close];
  window.writes = [];
  stream.write = function (chunk) {
    window.writes.push((chunk.position ?? 0) + (chunk.data ?? chunk).length);
    return write.call(this, chunk);
  };
  // closeFails: true or 1, the next close() fails; 2, the one after it.
  stream.close = function () {
    if (!window.closeFails || --window.closeFails > 0) return close.call(this);
    window.closeFails = 0;
    return Promise.reject(new DOMException('The disk is full', 'QuotaExceededError'));
  };
  // A file in the origin's private file system, written through Chromium's streams, and read.
  const at = async (path, create) => {
    let folder = await navigator.storage.getDirectory();
    const names = path.split('/');
    for (const name of names.slice(0, -1)) folder = await folder.getDirectoryHandle(name, { create });
    return folder.getFileHandle(names.at(-1), { create });
  };
  window.toDisk = async (path, data) => {
    const handle = await at(path, true);
    const out = await handle.createWritable();
    await write.call(out, data);
    await close.call(out);
    return handle;
  };
  window.fromDisk = async (path) => (await window.readBlob(await (await at(path, false)).getFile())).head;
}

async function until(fn, arg) {
  for (const end = Date.now() + 20000; !(await browser.run(fn, arg));) {
    assert.ok(Date.now() < end, `timed out waiting for ${fn}`);
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}
const count = (name) => performance.getEntriesByName(name).length;
async function measured(name, act) {
  const before = await browser.run(count, name);
  await act();
  await until(([name, before]) => performance.getEntriesByName(name).length > before, [name, before]);
}

async function openPage(url = served) {
  await browser.open(url);
  await until(() => document.body.dataset.ready);
  await browser.run(instrument, Boolean(browser.download));
  // Chromium keeps the origin's files from one page to the next.
  await browser.run(async () => {
    const disk =
      window.dialogs && location.protocol === 'http:' ? await navigator.storage.getDirectory() : null;
    for await (const name of disk?.keys() ?? []) await disk.removeEntry(name, { recursive: true });
  });
}

// In the page: drops progs.dat on it, with its handle on disk where the engine's drop has one
// (Chromium), or with a folder's handle (`how`: 'folder'), which a save cannot write into.
async function dropProgs([text, how]) {
  const file = new File([Uint8Array.from(text, (c) => c.charCodeAt(0))], 'progs.dat');
  const handle = window.dialogs && (await window.toDisk('progs.dat', file));
  const item = { kind: 'file', getAsFile: () => file };
  if (handle) {
    window.dialogs.file = handle;
    const dropped = how === 'folder' ? await navigator.storage.getDirectory() : handle;
    item.getAsFileSystemHandle = async () => dropped;
  }
  const event = new Event('drop', { cancelable: true });
  Object.defineProperty(event, 'dataTransfer', { value: { items: [item] } });
  document.dispatchEvent(event);
}

// Picks (or drops) a file and waits until the page has shown what it makes of it.
async function pick(id, path, drop) {
  const act = drop
    ? () => browser.run(dropProgs, [readFileSync(path, 'latin1'), drop])
    : () => browser.pick(id, path);
  await (id === 'progs' || (await browser.run(count, 'velmora: names shown'))
    ? measured('velmora: names shown', act)
    : act());
}

// What a download hands to its link, typed and named; where the engine's own download can be seen
// (Chromium), the bytes are those it saved under that name.
async function download(id, name) {
  const own = browser.download ? await browser.download(id) : await browser.click(id);
  const link = await browser.run(
    async ([name, whole]) => ({
      type: window.links[name].type,
      ...(await window.readBlob(window.links[name], whole)),
    }),
    [name, !own],
  );
  assert.equal(link.type, 'application/octet-stream');
  if (own) assert.equal(own.name, name);
  return own ? { ...link, sha: sha(own.path) } : link;
}

// Saves into a copy on disk of the picked file (the dialog hands it over), into the dropped file,
// into another of its length, or with a close() that fails; returns what the page said, the file
// before and after, and the downloaded progs.dat.
async function save(how) {
  const before = await browser.run(async (how) => {
    const dialogs = window.dialogs;
    dialogs.file ??= await window.toDisk('progs.dat', document.getElementById('progs').files[0]);
    const file = await dialogs.file.getFile();
    if (how === 'other') await window.toDisk('progs.dat', new Blob(['!', file.slice(1)]));
    window.closeFails = how === 'fails';
    return window.readBlob(await dialogs.file.getFile());
  }, how ?? null);
  await measured('velmora: saved', () => browser.click('save-progs'));
  return browser.run(
    async (before) => ({
      before,
      after: await window.readBlob(await window.dialogs.file.getFile()),
      download: await window.readBlob(window.links['progs.dat']),
      picks: window.dialogs.opened,
      writes: window.writes,
      message: document.getElementById('saved').textContent,
    }),
    before,
  );
}

// Picked, dropped and typed, good and bad: the page leaves what the native tool leaves, saves it,
// or shows its error, at the field where it lies.
const rows = [
  {
    label: 'escapes and comments, saved into another file',
    progs: image(4096),
    cmaps: 'LOCALMAP0="a\\"b";\r\nLOCALMAP9 = "c\\\\d"; // x\n',
    save: 'other',
  },
  {
    label: 'short file grows, cmaps.cfg first',
    progs: image(3900),
    cmaps: 'LOCALMAP5="e5";',
    cmapsFirst: true,
  },
  { label: 'long file keeps its tail', progs: image(70000), cmaps: 'LOCALMAP4="\xe9\xff";' },
  {
    label: 'CR, zero byte and leftovers, a save that fails',
    progs: image(4096),
    cmaps: 'LOCALMAP1="a\rb";LOCALMAP2="x\0y";LOCALMAP3="longer";LOCALMAP3="ab";',
    save: 'fails',
  },
  {
    label: 'no cmaps.cfg, progs.dat dropped',
    progs: image(4096, undefined, (d) => `map${d}`.padEnd(16, '.')),
    drop: true,
  },
  {
    label: 'error in the map list',
    progs: image(4096),
    cmaps: 'LOCALMAP1="x";\n\nLOCALMAP2="abcdefghijklmnop";',
    inFile: true,
  },
  { label: 'bad progs.dat', progs: image(4096, [0, 1, 2, 3, 4, 5, 6, 8, 9]), cmaps: '' },
  {
    label: 'typed names',
    progs: image(4096),
    type: [
      [2, 'say "hi" \\ o/'],
      [0, ''],
      [7, 'caf\xe9 \xff\u20ac', 'caf\xe9 \xff'],
    ],
    note: true,
  },
  { label: 'blanks at the ends of a name', progs: image(4096), type: [[5, '  two  blanks ']] },
  {
    label: 'an edit after a picked cmaps.cfg',
    progs: image(4096),
    cmaps: 'LOCALMAP5="e5";\n',
    type: [[3, 'edited']],
  },
  {
    label: 'a name too long marks its field',
    progs: image(4096),
    type: [[2, 'abcdefghijklmnop']],
    marked: [['name2', 'String too long: at most 15 characters']],
    alert: 'Error: LOCALMAP2: String too long: at most 15 characters',
  },
  {
    label: 'a cmaps.cfg picked after an edit is used as picked',
    progs: image(4096),
    type: [[3, 'edited']],
    cmaps: 'LOCALMAP1="x";\nLOCALMAP2=x',
    cmapsLast: true,
    inFile: true,
    note: true, // that the typed names were replaced
  },
  {
    label: 'a mended name loses its mark',
    progs: image(4096),
    type: [
      [2, 'abcdefghijklmnop'],
      [2, 'abcdefghijklmno'],
    ],
  },
  { label: 'a 256 MiB progs.dat', progs: image(256 * 1024 * 1024), type: [[3, 'big one']] },
  {
    label: 'a name too long in LOCALMAP0 names LOCALMAP0',
    progs: image(4096),
    type: [[0, 'abcdefghijklmnop']],
    marked: [['name0', 'String too long: at most 15 characters']],
    alert: 'Error: LOCALMAP0: String too long: at most 15 characters',
  },
  {
    label: "a progs.dat dropped with a folder's handle: a save asks for the file",
    progs: image(4096),
    drop: 'folder',
  },
];

for (const row of rows) {
  test(row.label, async () => {
    await openPage();
    const picks = [
      ['progs', row.progs],
      ['cmaps', row.cmaps != null && file(row.cmaps)],
    ].filter(([, path]) => path);
    if (row.cmapsFirst) picks.reverse();
    for (const [id, path] of row.cmapsLast ? picks.slice(0, 1) : picks) {
      await pick(id, path, id === 'progs' && row.drop);
    }
    // The fields hold the names a run leaves (--list's with no cmaps.cfg); typed ones replace them.
    const names = await browser.run(() =>
      [...document.querySelectorAll('#slots input')].map((field) => field.value),
    );
    for (const [digit, typed, kept = typed] of row.type ?? []) {
      await browser.type(`name${digit}`, typed);
      names[digit] = kept;
    }
    if (row.cmapsLast) await pick(...picks[1]);
    const list = row.type && !row.cmapsLast ? makeList(names) : (row.cmaps ?? listed(row.progs));
    const expected = native(row.progs, list);
    const [alert, where, note, disabled, marks, layout] = await browser.run(() => [
      ...['alert', 'alert-where', 'note'].map((id) => document.getElementById(id).textContent),
      document.getElementById('download-progs').disabled,
      [...document.querySelectorAll('[aria-invalid="true"]')].map((field) => [
        field.id,
        document.getElementById(`${field.id}-error`).textContent,
      ]),
      window.layout(),
    ]);
    assert.deepEqual(
      [alert, disabled, where.includes('cmaps.cfg'), note !== '', layout],
      [row.alert ?? expected.err, expected.status !== 0, Boolean(row.inFile), Boolean(row.note), [true, 0]],
    );
    assert.deepEqual(marks, row.marked ?? []);
    const canSave = await browser.run(() => Boolean(document.getElementById('save-progs')));
    assert.equal(canSave, chromium);
    if (expected.status !== 0) return;
    assert.equal((await download('download-progs', 'progs.dat')).sha, sha(expected.progs));
    // The fields hold the names the run left, but for CRs, which a text field cannot hold.
    const fields = (await download('download-cmaps', 'cmaps.cfg')).head;
    assert.deepEqual(definitions(fields), definitions(listed(expected.progs).replaceAll('\r', '')));
    if (!canSave) return;
    const disk = await save(row.save);
    // One dialog at most, and no write past the tool's window.
    assert.deepEqual([disk.picks, disk.writes.filter((end) => end > 16383)], [row.drop === true ? 0 : 1, []]);
    if (row.save) {
      assert.deepEqual(
        [disk.message !== '' && !disk.message.startsWith('Saved'), disk.after],
        [true, disk.before],
      );
      return;
    }
    // What is saved is what is downloaded; the table shows the file's names now, and a second save
    // needs no second dialog.
    assert.deepEqual([disk.message, disk.after], ['Saved into progs.dat.', disk.download]);
    const shown = await browser.run(() =>
      [...document.querySelectorAll('#slots tr')].map((tr) => [
        tr.cells[2].textContent,
        tr.querySelector('input').value,
      ]),
    );
    assert.deepEqual(
      shown.map(([now]) => now.replaceAll('\r', '')),
      shown.map(([, field]) => field),
    );
    const again = await save();
    assert.deepEqual([again.message, again.picks, again.after], [disk.message, disk.picks, disk.after]);
  });
}

// In the page: a game folder "game" of these files ([path, latin1 bytes]), dropped on the page as
// entries (how any engine's drop gives a folder without handles) or, in Chromium, put on disk and
// dropped with its handle or picked in the (stand-in) dialog.
async function putFolder([how, files, name = 'game']) {
  const bytes = (text) => Uint8Array.from(text, (c) => c.charCodeAt(0));
  // A file changed on disk since the pick: the browser refuses to read it.
  const refused = {
    size: 200,
    slice: () => ({ arrayBuffer: () => Promise.reject(new DOMException('changed', 'NotReadableError')) }),
  };
  const made = files.map(([path, text]) => [path, text === null ? refused : new File([bytes(text)], 'f')]);
  const drop = (item) => {
    const event = new Event('drop', { cancelable: true });
    const items = [{ kind: 'file', getAsFile: () => null, ...item }];
    Object.defineProperty(event, 'dataTransfer', { value: { items } });
    document.dispatchEvent(event);
  };
  if (how === 'entries' || how === 'slow') {
    // Each reader hands out two entries a call (a real one about a hundred), then none.
    const entry = (fullPath, children = []) => {
      const reader = (at = 0) => ({
        readEntries: (ok) => setTimeout(() => ok(children.slice(at, (at += 2))), how === 'slow' ? 400 : 0),
      });
      return {
        name: fullPath.split('/').at(-1),
        fullPath,
        isDirectory: true,
        children,
        createReader: reader,
      };
    };
    const root = entry(`/${name}`);
    for (const [path, file] of made) {
      let folder = root;
      for (const name of path.split('/').slice(0, -1)) {
        const next = folder.children.find((child) => child.name === name);
        folder = next ?? folder.children[folder.children.push(entry(`${folder.fullPath}/${name}`)) - 1];
      }
      const fullPath = `${folder.fullPath}/${path.split('/').at(-1)}`;
      folder.children.push({ fullPath, file: (ok) => ok(file) });
    }
    return drop({ webkitGetAsEntry: () => root });
  }
  for (const [path, file] of made) await window.toDisk(`game/${path}`, file);
  window.dialogs.folder = await (await navigator.storage.getDirectory()).getDirectoryHandle('game');
  const handle = async () => window.dialogs.folder;
  if (how === 'handle')
    drop({ webkitGetAsEntry: () => ({ isDirectory: true }), getAsFileSystemHandle: handle });
}

// Gives the page a folder of these files ({ path: bytes }), the way `how` says (dropped entries: in a
// folder of that name), and waits until it has offered its maps.
async function openFolder(files, how, name) {
  if (how === 'input') {
    const root = writeFolder(join(mkdtempSync(join(scratch, 'folder-')), 'game'), files);
    return measured('velmora: maps offered', () => browser.pick('folder', root));
  }
  const encoded = Object.entries(files).map(([path, bytes]) => [path, bytes?.toString('latin1') ?? null]);
  await measured('velmora: maps offered', async () => {
    await browser.run(putFolder, [how, encoded, name ?? 'game']);
    if (how === 'dialog') await browser.click('folder');
  });
}

// The tests' game of every kind, as make_game_folder writes it, with a big archive beside it that
// only a reader of whole files would read through.
const generated = mkdtempSync(join(scratch, 'generated-'));
spawnSync(VELMORA_MAKE_GAME_FOLDER, [join(generated, 'game')]);
const gameFiles = (root, at = '') =>
  Object.assign(
    {},
    ...readdirSync(join(root, at), { withFileTypes: true }).map((entry) =>
      entry.isDirectory()
        ? gameFiles(root, join(at, entry.name))
        : { [join(at, entry.name)]: readFileSync(join(root, at, entry.name)) },
    ),
  );
const game = {
  ...gameFiles(join(generated, 'game')),
  'mod/zz_big.pak': pack([['sound/big.wav', Buffer.alloc(4 << 20)]]),
};
// The same game with a base pak0.pak of 2,048 entries (as many as Quakespasm takes), its own entries
// the last: its directory, 128 KiB, takes reads of more than 4 KiB.
const baseEntries = entriesOf(game['id1/pak0.pak']);
const fillers = Array.from({ length: 2048 - baseEntries.length }, (_, i) => [
  `sound/s${i}.wav`,
  Buffer.from('x'),
]);
const bigGame = { ...game, 'id1/pak0.pak': pack([...fillers, ...baseEntries]) };
const under = (prefix, files) => Object.fromEntries(Object.entries(files).map(([p, b]) => [prefix + p, b]));

// What the page shows of the game: each level as --maps lists it, the counts, the damaged files and
// warnings, the suggestions, each field's name and note, the line above the table, the progress
// lines, and the reads.
const gameShown = () => {
  const texts = (selector) => [...document.querySelectorAll(selector)].map((item) => item.textContent);
  return {
    levels: texts('#map-list li'),
    found: document.getElementById('maps-found').textContent,
    damaged: texts('#damaged li'),
    warnings: texts('#warnings li'),
    offered: [...document.querySelectorAll('#map-names option')].map((o) => `${o.value}\t${o.label}`),
    fields: [...document.querySelectorAll('#slots input')].map((field) => [
      field.value,
      document.getElementById(`${field.id}-error`).textContent,
    ]),
    summary: document.getElementById('summary').textContent,
    // Each slot's mark beside the name it holds now and the one it gets.
    changes: [...document.querySelectorAll('#slots tr')].map((tr) => [
      tr.querySelector('.change').textContent,
      tr.cells[2].textContent,
      tr.querySelector('input').value,
    ]),
    reading: document.getElementById('reading').textContent,
    progress: window.progress.filter(Boolean),
    read: window.bytesRead,
    shortReads: window.shortReads,
    layout: window.layout(),
  };
};

// Games given to the page, each compared with velmora --maps and --map-table in the folder `at` of
// the same files on disk; `pace`: each read takes that many ms.
const games = [
  { label: 'a game folder: the page says what velmora --maps says', files: game },
  { label: 'a base pak0.pak of 2,048 entries, its maps the last: none is damaged', files: bigGame },
  { label: "that game at a slow disk's pace: the progress line shows, then goes", files: bigGame, pace: 150 },
  {
    label: 'BSPs that are no levels and maps no engine finds counted apart; a title over 0x7F',
    files: {
      ...game,
      'mod/sub/b.pak': pack([['maps/lost.bsp', level('Lost')]]),
      'mod/maps/hue.bsp': level('\xc1\xe9\x85  x\\ny\xff'),
    },
  },
  {
    label: 'a mod two folders down: the id1 beside it counts, and its cmaps.cfg is read',
    files: under('games/quake/', game),
    at: 'games/quake/mod',
  },
];
for (const { label, files, at = 'mod', pace = 0 } of games) {
  test(label, async () => {
    const root = writeFolder(join(mkdtempSync(join(scratch, 'game-')), 'game'), files);
    const inGame = (args, input) =>
      spawnSync(VELMORA_NATIVE, args, { cwd: join(root, at), input, encoding: 'latin1' }).stdout;
    await openPage();
    await browser.run((ms) => (window.readDelay = ms), pace);
    await openFolder(files, chromium ? 'input' : 'entries');
    // The fields hold the names that the cmaps.cfg beside progs.dat gives.
    const given = await browser.run(() => [...document.querySelectorAll('#slots input')].map((f) => f.value));
    const ran = native(join(root, at, 'progs.dat'), files[`${at}/cmaps.cfg`].toString('latin1'));
    assert.deepEqual(definitions(makeList(given)), definitions(listed(ran.progs)));
    // A slot that keeps its name gets no mark.
    await measured('velmora: advice shown', () => browser.type('name0', 'usermap0'));
    await new Promise((resolve) => setTimeout(resolve, 300));
    const shown = await browser.run(gameShown);
    const listing = inGame(['--maps']).trimEnd().split('\n');
    const names = shown.fields.map(([name]) => name);
    const table = inGame(['--map-table'], Buffer.from(names.join('\n') + '\n', 'latin1')).split('\n');
    const rows = (word) =>
      table.filter((line) => line.startsWith(`${word}\t`)).map((line) => line.split('\t'));
    // Each level as --maps lists it, but for the blanks that line up its names; the counts of what
    // is left out; each suggestion's title, marked as in the list.
    const lines = listing.slice(0, -1);
    assert.deepEqual(
      shown.levels,
      lines.map((line) => line.replace(/^(\S+) +/, '$1  ')),
    );
    const counts = (line) => [/^[\d,]+ levels?/.exec(line)?.[0], /left out: [^.]*/.exec(line)?.[0]];
    assert.deepEqual(counts(shown.found), counts(listing.at(-1)));
    const suggested = (line) => {
      const [, name, title = '', only] =
        /^(\S+) +(?:"([^"]*)"|\(no title\)) {2}.*?((?: {2}\(.* only\))?)$/.exec(line);
      return `${name}\t${title}${only}`;
    };
    assert.deepEqual(shown.offered.toSorted(), lines.map(suggested).sort());
    assert.deepEqual(
      shown.damaged,
      rows('damage').map(([, where, why]) => `${posix.normalize(`${at}/${where}`)}: ${why}.`),
    );
    assert.equal(shown.warnings.length, table.filter((line) => /^(stops-|misread-)/.test(line)).length);
    assert.deepEqual(
      shown.fields.map(([, note]) => note),
      rows('name').map((fields) => fields[4]),
    );
    // The line above the table names every copy a save writes.
    const inUse = shown.summary.split(', with ')[0];
    const copies = rows('copy').map(([, , where]) => `game/${at}/${where}`);
    assert.deepEqual(
      copies.filter((copy) => !inUse.includes(copy)),
      [],
      inUse,
    );
    assert.match(shown.summary, /, with the names typed in the fields\. /);
    assert.ok(shown.read < 1 << 20, `${shown.read} bytes read`);
    // Every read takes 4 KiB at least, or the rest of its file.
    assert.equal(shown.shortReads, 0);
    // The progress line shows while a slow read lasts, and goes when it is done.
    assert.deepEqual([pace === 0 || shown.progress.length > 0, shown.reading], [true, '']);
    const mark = (now, next) => (now === next ? '' : next === '' ? 'will be emptied' : 'will change');
    assert.deepEqual(
      shown.changes.map(([marked]) => marked),
      shown.changes.map(([, now, next]) => mark(now, next)),
    );
    assert.deepEqual(shown.layout, [true, 0]);
  });
}

const progsPath = image(4096);
const progs = readFileSync(progsPath);
// Page behaviours around a folder: each step acts on the page, then `expect` reads it.
const stepsOf = {
  folder: (files, how, name) => openFolder(files, how, name),
  slowFolder: (files) =>
    browser.run(putFolder, ['slow', Object.entries(files).map(([p, b]) => [p, b.toString('latin1')])]),
  progs: (path) => pick('progs', path),
  cmaps: (text) => pick('cmaps', file(text)),
  choose: (index) =>
    measured('velmora: names shown', () =>
      browser.run((index) => {
        const choice = document.getElementById('progs-choice');
        choice.value = index;
        choice.dispatchEvent(new Event('change'));
      }, index),
    ),
  // Each keystroke may start a run of the core: the last one's advice comes last.
  type: async ([digit, text]) => {
    await measured('velmora: advice shown', () => browser.type(`name${digit}`, text));
    await new Promise((resolve) => setTimeout(resolve, 300));
  },
  // Typed while the core runs slowly: the advice on these names comes a second late.
  lateAdvice: async ([digit, text]) => {
    await browser.run(() => (window.slowRuns = 1000));
    await browser.type(`name${digit}`, text);
    await browser.run(() => (window.slowRuns = 0));
  },
  wait: (ms) => new Promise((resolve) => setTimeout(resolve, ms)),
};
const pageState = () => ({
  reading: document.getElementById('reading').textContent,
  maps: document.querySelectorAll('#map-list li').length,
  names: [...document.querySelectorAll('#slots input')].map((field) => field.value).join(' '),
  notes: [...document.querySelectorAll('#slots .field-advice')].map((note) => note.textContent).join(' '),
  noteAt: [...document.querySelectorAll('#slots input')].map(
    (field) => document.getElementById(`${field.id}-error`).textContent,
  ),
  marks: [...document.querySelectorAll('#slots .change')].map((mark) => mark.textContent),
  summary: document.getElementById('summary').textContent,
  differs: document.getElementById('cmaps-differs').textContent,
  saveCmaps: !document.getElementById('save-cmaps').hidden,
  damaged: [...document.querySelectorAll('#damaged li')].map((item) => item.textContent).join(' | '),
  said: ['base-missing', 'note', 'progs-name', 'slots-why'].map(
    (id) => document.getElementById(id).textContent,
  ),
  offered: [...document.querySelectorAll('#map-names option')].map((option) => option.value).join(' '),
});
const two = {
  'id1/progs.dat': progs,
  'id1/cmaps.cfg': Buffer.from('LOCALMAP0="start";\n'),
  'id1/maps/start.bsp': level('Start'),
  'mod/progs.dat': progs,
};
const mod = { 'mod/progs.dat': progs, 'mod/cmaps.cfg': Buffer.from(''), 'mod/maps/zed.bsp': level('Zed') };
const behaviours = [
  {
    label: 'a reason that slots share is said once',
    steps: [
      [
        'progs',
        image(4096, [0, 1, 2, 3, 4, 5, 6, 7, 8, 9], (d) =>
          d < 8 ? 'x'.repeat(16) : `m${d}`.padEnd(16, '\0'),
        ),
      ],
    ],
    expect: (got) =>
      got.said[3] ===
      `${[...Array(8).keys()].map((d) => `LOCALMAP${d}`).join(', ')}: has no name yet: no name ends within its 16 bytes.`,
  },
  {
    label: "the mod's levels are offered first, and typed names replaced say so",
    steps: [
      ['progs', progsPath],
      ['type', [0, 'typed']],
      ['folder', { 'id1/maps/start.bsp': level('Start'), ...mod }, 'entries'],
    ],
    expect: (got) =>
      got.offered === 'zed start' &&
      got.said[1] === 'The names you typed were replaced by those of mod/progs.dat.' &&
      got.said[2] === 'In use: mod/progs.dat',
  },
  {
    label: "a mod's folder alone: the base game's maps are not counted",
    steps: [['folder', { 'progs.dat': progs, 'maps/zed.bsp': level('Zed') }, 'entries']],
    expect: (got) => got.said[0].startsWith("The base game's maps are not counted: there is no id1"),
  },
  {
    label: 'a progs.dat only inside a pack is offered, named with its pack',
    steps: [
      [
        'folder',
        { 'id1/maps/start.bsp': level('Start'), 'mod/pak0.pak': pack([['progs.dat', progs]]) },
        'entries',
      ],
    ],
    expect: (got) =>
      got.said[2] === 'In use: mod/pak0.pak:progs.dat' &&
      got.names.startsWith('usermap0') &&
      got.reading === '',
  },
  {
    label: 'a progs.dat picked while a folder is read stays',
    steps: [
      ['slowFolder', two],
      ['wait', 300],
      ['progs', progsPath],
      ['wait', 2500],
    ],
    expect: (got) => got.maps === 0 && got.names.startsWith('usermap0 usermap1') && got.reading === '',
  },
  {
    label: 'the progress line shows while a slow folder is read',
    steps: [
      ['slowFolder', { ...two, ...Object.fromEntries([...Array(8)].map((_, i) => [`x/${i}`, progs])) }],
      ['wait', 1500],
    ],
    expect: (got) => got.reading.startsWith('Listing the folder'),
  },
  {
    label: 'a file that cannot be read is damaged; the rest is offered',
    steps: [['folder', { ...two, 'id1/maps/gone.bsp': null }, 'entries']],
    expect: (got) => got.maps >= 1 && got.damaged === 'id1/maps/gone.bsp: it could not be read.',
  },
  {
    label: "a progs.dat picked after a folder keeps its maps and advice, and is not the folder's",
    steps: [
      ['folder', two, 'entries'],
      ['progs', progsPath],
      ['type', [1, 'strat']],
    ],
    expect: (got) =>
      got.maps === 1 &&
      got.notes.includes('"strat" is no map of this game; the nearest: "start"') &&
      got.differs === '',
  },
  {
    label: 'a folder read after a progs.dat was picked advises at once',
    steps: [
      ['progs', progsPath],
      ['folder', { 'id1/maps/start.bsp': level('Start') }, 'entries'],
    ],
    expect: (got) => got.notes.includes('"usermap0" is no map of this game'),
  },
  {
    label: '"Save cmaps.cfg" shows only where it can write',
    steps: [
      ['folder', two, chromium ? 'dialog' : 'entries'],
      ['type', [1, 'start']],
    ],
    expect: (got) => got.differs !== '' && got.saveCmaps === chromium,
  },
  {
    label: 'after another progs.dat of the folder, an undone edit leaves no note',
    steps: [
      ['folder', { ...two, 'mod/cmaps.cfg': Buffer.from('LOCALMAP0="e1";\n') }, 'entries'],
      ['choose', 0],
      ['type', [0, 'x']],
      ['type', [0, 'start']],
    ],
    expect: (got) => got.names.startsWith('start ') && got.differs === '',
  },
  {
    label: 'a field left empty between named ones: each note stays at its own field',
    steps: [
      ['folder', two, 'entries'],
      ['type', [0, 'strt']],
      ['type', [2, 'strat']],
    ],
    expect: (got) =>
      got.noteAt[0].includes('"strt"') && got.noteAt[1] === '' && got.noteAt[2].includes('"strat"'),
  },
  {
    label: 'slots whose names cannot be shown are marked by what they hold',
    steps: [
      ['progs', image(4096, undefined, (d) => (d < 2 ? 'x'.repeat(16) : `m${d}`.padEnd(16, '\0')))],
      ['type', [0, 'new']],
    ],
    expect: (got) => got.marks.slice(0, 3).join() === 'will change,will be emptied,',
  },
  {
    label: 'a cmaps.cfg picked in a folder gives way to the one beside the progs.dat chosen next',
    steps: [
      ['folder', two, 'entries'],
      ['cmaps', 'LOCALMAP0="picked";\n'],
      ['choose', 1],
    ],
    expect: (got) => !got.names.startsWith('picked ') && got.summary.includes('(no cmaps.cfg)'),
  },
  {
    label: 'the line above the table names the progs.dat chosen in the folder',
    steps: [
      ['folder', two, 'entries'],
      ['choose', 1],
    ],
    expect: (got) =>
      got.summary.startsWith('In use: game/mod/progs.dat,') && got.said[2] === 'In use: mod/progs.dat',
  },
  {
    label: 'an old copy in capitals: its PROGS.DAT, with CMAPS.CFG beside it, is chosen',
    steps: [
      [
        'folder',
        {
          'A/progs.dat': progs,
          'ID1/PROGS.DAT': progs,
          'ID1/CMAPS.CFG': Buffer.from('LOCALMAP0="dos";\n'),
          'ID1/PAK0.PAK': pack([['maps/start.bsp', level('Start')]]),
        },
        'entries',
      ],
    ],
    expect: (got) => got.said[2] === 'In use: ID1/PROGS.DAT' && got.names.startsWith('dos '),
  },
  {
    label: "id1 beside the mod: the base game's maps are counted",
    steps: [['folder', { 'id1/maps/start.bsp': level('Start'), ...mod }, 'entries']],
    expect: (got) => got.said[0] === '' && got.maps === 2,
  },
  {
    label: "the folder picked is id1 itself: the base game's maps are counted",
    steps: [['folder', { 'progs.dat': progs, 'maps/start.bsp': level('Start') }, 'entries', 'id1']],
    expect: (got) => got.said[0] === '' && got.maps === 1,
  },
  {
    label: 'advice that comes after another progs.dat was picked is dropped',
    steps: [
      ['folder', two, 'entries'],
      ['lateAdvice', [1, 'strat']],
      ['progs', progsPath],
      ['wait', 2000],
    ],
    expect: (got) => got.names.startsWith('start ') && got.noteAt[1] === '',
  },
  {
    label: 'advice that comes after another folder was picked is dropped',
    steps: [
      ['folder', two, 'entries'],
      ['lateAdvice', [1, 'strat']],
      ['slowFolder', mod],
      ['wait', 1500],
    ],
    expect: (got) => got.noteAt[1] === '',
  },
  {
    label: 'a progs.dat picked while a folder is in use is named as picked',
    steps: [
      ['folder', two, 'entries'],
      ['progs', progsPath],
    ],
    expect: (got) => got.said[2] === '' && got.summary.includes('the file you picked'),
  },
];
for (const { label, steps, expect } of behaviours) {
  test(label, async () => {
    await openPage();
    for (const [step, ...args] of steps) await stepsOf[step](...args);
    const got = await browser.run(pageState);
    assert.ok(expect(got), JSON.stringify(got));
  });
}

// Mods whose progs.dat lies in packs, one line each: the mod's files and, in Chromium, which close()
// fails (1: the first file's). The page offers the mod naming every copy a save writes, downloads each
// file as the native tool leaves it in a copy of the folder, and in Chromium saves into the files
// themselves (real handles), changing no byte of a pack outside its copy, or puts every file back.
const inPak = (build) =>
  pack([
    ['progs.dat', build],
    ['maps/after.bsp', level('After')],
  ]);
const otherBuild = Buffer.concat([Buffer.from('another build, its slots further on '), progs]);
const astray = pack([['progs.dat', progs, ['progs.dat'.padEnd(56, '\0'), 1 << 20, progs.length]]]);
const packRows = [
  ['only in pak0.pak', { 'mod/pak0.pak': inPak(progs) }],
  ['loose and in pak0.pak, another build', { 'mod/progs.dat': progs, 'mod/pak0.pak': inPak(otherBuild) }],
  [
    'in pak0.pak for Quakespasm, zz.pak for DarkPlaces',
    { 'mod/pak0.pak': inPak(progs), 'mod/zz.pak': inPak(otherBuild) },
  ],
  [
    "the pack's close fails after the loose file's",
    { 'mod/progs.dat': progs, 'mod/pak0.pak': inPak(progs) },
    2,
  ],
  ["the first pack's close fails", { 'mod/pak0.pak': inPak(progs), 'mod/zz.pak': inPak(otherBuild) }, 1],
  ['a copy without the slots', { 'mod/progs.dat': progs, 'mod/pak0.pak': inPak(Buffer.from('no slots')) }],
  ['a copy longer than the window', { 'mod/pak0.pak': inPak(readFileSync(image(20000))) }],
  ['a copy whose data lies outside its pack', { 'mod/progs.dat': progs, 'mod/pak0.pak': astray }],
];
for (const [label, mod, closeFails] of packRows) {
  test(`a progs.dat in a pack: ${label}`, async () => {
    await openPage();
    const files = { 'id1/maps/start.bsp': level('Start'), ...mod };
    await openFolder(files, chromium ? 'dialog' : 'entries');
    await stepsOf.type([3, 'start']);
    const names = await browser.run(() => [...document.querySelectorAll('#slots input')].map((f) => f.value));
    const root = writeFolder(join(mkdtempSync(join(scratch, 'native-')), 'game'), files);
    const inMod = { cwd: join(root, 'mod'), encoding: 'latin1' };
    const copies = spawnSync(VELMORA_NATIVE, ['--map-table'], { ...inMod, input: '' })
      .stdout.split('\n')
      .filter((line) => line.startsWith('copy\t'))
      .map((line) => line.split('\t').slice(1));
    writeFileSync(join(root, 'mod/cmaps.cfg'), makeList(names), 'latin1');
    const run = spawnSync(VELMORA_NATIVE, [], inMod);
    const shown = await browser.run(() => ({
      alert: document.getElementById('alert').textContent,
      choice: document.getElementById('progs-choice').selectedOptions[0].text,
      summary: document.getElementById('summary').textContent,
      layout: window.layout(),
    }));
    const named = copies.map(([, where]) => [
      shown.choice.includes(`mod/${where}`),
      shown.summary.includes(where),
    ]);
    assert.deepEqual(
      [shown.alert, named, shown.layout],
      [run.stderr.trimEnd(), named.map(() => [true, true]), [true, 0]],
    );
    if (run.status !== 0) return;
    // Each file a save writes is downloaded under its own name, as the native run leaves it.
    const downloads = await browser.run(async () => {
      const buttons = [...document.querySelectorAll('.actions button[id^="download-"]:not(#download-cmaps)')];
      for (const button of buttons) button.click();
      const all = Object.entries(window.links).filter(([name]) => name !== 'cmaps.cfg');
      return Promise.all(all.map(async ([name, blob]) => [name, (await window.readBlob(blob, true)).sha]));
    });
    const fileNames = [...new Set(copies.map(([file]) => file))];
    assert.deepEqual(
      downloads,
      fileNames.map((name) => [name, sha(join(root, 'mod', name))]),
    );
    if (!chromium) return;
    const paths = Object.keys(mod);
    const disk = () =>
      browser.run((paths) => Promise.all(paths.map((p) => window.fromDisk(`game/${p}`))), paths);
    const before = await disk();
    await browser.run((fails) => (window.closeFails = fails), closeFails ?? 0);
    await measured('velmora: saved', () => browser.click('save-progs'));
    const [after, message] = [
      await disk(),
      await browser.run(() => document.getElementById('saved').textContent),
    ];
    if (closeFails) {
      const undone = /^Nothing was saved: .*as it was/.test(message);
      assert.deepEqual([after.map(hashOf), undone], [before.map(hashOf), true], message);
      return;
    }
    // The files hold what the native run left; a pack's bytes outside its copy are as they were.
    const outside = (text, file) =>
      copies
        .filter((copy) => copy[0] === file)
        .reduce(
          (kept, [, , at, bytes]) => kept.slice(0, +at) + '#'.repeat(+bytes) + kept.slice(+at + +bytes),
          text,
        );
    const native = paths.map((path) => hashOf(readFileSync(join(root, path), 'latin1')));
    assert.deepEqual(after.map(hashOf), native, message);
    const kept = (texts) => paths.map((path, i) => hashOf(outside(texts[i], path.slice(4))));
    assert.deepEqual(kept(after), kept(before));
  });
}

test('saving into a picked folder', { skip: !chromium && 'Chromium alone writes folders' }, async () => {
  await openPage();
  const cmaps = 'LOCALMAP0="e1m1";\n';
  await openFolder({ 'id1/progs.dat': progs, 'id1/cmaps.cfg': Buffer.from(cmaps) }, 'dialog');
  const disk = (path) => browser.run((path) => window.fromDisk(`game/id1/${path}`), path);
  const shown = () =>
    browser.run(() => [
      document.getElementById('saved').textContent,
      document.getElementById('cmaps-differs').textContent.slice(0, 40),
      document.getElementById('name3-error').textContent, // no maps here, so no advice
      document.getElementById('save-cmaps').hidden,
      window.dialogs.opened,
    ]);
  // Reading wrote nothing; the names differ from the cmaps.cfg's once a field is edited.
  assert.equal(await disk('progs.dat'), progs.toString('latin1'));
  await browser.type('name3', 'start');
  const differs = 'The cmaps.cfg in id1/ gives other names:';
  assert.deepEqual(await shown(), ['', differs, '', false, 1]);
  await measured('velmora: saved', () => browser.click('save-progs'));
  const list = makeList(['e1m1', '', '', 'start', '', '', '', '', '', '']);
  assert.deepEqual(await shown(), ['Saved into progs.dat.', differs, '', false, 1]);
  assert.equal(await disk('progs.dat'), readFileSync(native(progsPath, list).progs, 'latin1'));
  await measured('velmora: cmaps.cfg saved', () => browser.click('save-cmaps'));
  assert.deepEqual(await shown(), [
    `Saved cmaps.cfg; the one it replaced is kept as cmaps.cfg.bak.`,
    '',
    '',
    true,
    1,
  ]);
  assert.deepEqual([await disk('cmaps.cfg'), await disk('cmaps.cfg.bak')], [list, cmaps]);
  // A progs.dat changed on disk since the folder was read is left alone.
  await browser.run(() => window.toDisk('game/id1/progs.dat', new Blob(['!'.repeat(4096)])));
  await measured('velmora: saved', () => browser.click('save-progs'));
  assert.match((await shown())[0], /^Nothing was saved: progs.dat has changed/);
  assert.equal(await disk('progs.dat'), '!'.repeat(4096));
});

test('no request leaves the page opened from disk', async () => {
  await openPage(pathToFileURL(VELMORA_PAGE).href);
  const blocked = await browser.run(
    () =>
      new Promise((resolve) => {
        document.addEventListener('securitypolicyviolation', (event) => resolve(event.effectiveDirective));
        fetch('http://127.0.0.1:9/').catch(() => setTimeout(() => resolve('not blocked'), 500));
      }),
  );
  assert.equal(blocked, 'connect-src');
  assert.ok(
    (browser.requests ?? []).every((url) => [pathToFileURL(VELMORA_PAGE).href, served].includes(url)),
    browser.requests,
  );
});
