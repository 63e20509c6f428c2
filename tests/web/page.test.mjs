// The page in one of Debian's browser engines at one width (VELMORA_ENGINE, VELMORA_WIDTH), opened
// from disk: its downloads, saves and alert against the native tool's bytes and error line in the
// same folder, its marks and its layout, and not one request leaving it.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import {
  appendFileSync,
  mkdtempSync,
  readFileSync,
  rmSync,
  symlinkSync,
  truncateSync,
  writeFileSync,
} from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { launch } from './browser.mjs';
import { fakePicker } from './fake_picker.mjs';

const { VELMORA_PAGE, VELMORA_NATIVE, VELMORA_ENGINE, VELMORA_WIDTH, VELMORA_BROWSER } = process.env;
const scratch = mkdtempSync(join(tmpdir(), 'velmora-page-'));
let browser;
before(
  async () =>
    (browser = await launch(VELMORA_ENGINE, Number(VELMORA_WIDTH), VELMORA_BROWSER, {
      scratch,
      init: fakePicker,
    })),
);
after(async () => (await browser?.close(), rmSync(scratch, { recursive: true, force: true })));

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
  if (size > bytes.length) (truncateSync(path, size - 1), appendFileSync(path, '\xa5', 'latin1'));
  return path;
}

// What the native tool does in a folder holding these files (cmaps.cfg as latin1 text). An option
// only reads progs.dat, so it gets a link; a run gets a copy, as sparse as the file.
function native(progs, cmaps, args = [], input = undefined) {
  const dir = mkdtempSync(join(scratch, 'native-'));
  if (progs)
    args.length
      ? symlinkSync(progs, join(dir, 'progs.dat'))
      : spawnSync('cp', ['--sparse=always', progs, join(dir, 'progs.dat')]);
  if (cmaps !== null) writeFileSync(join(dir, 'cmaps.cfg'), Buffer.from(cmaps, 'latin1'));
  const run = spawnSync(VELMORA_NATIVE, args, { cwd: dir, input, encoding: 'latin1', maxBuffer: 1 << 20 });
  return { ...run, err: run.stderr.trimEnd(), progs: join(dir, 'progs.dat') };
}
const listed = (progs) => native(progs, null, ['--list']).stdout;
const definitions = (list) => list.split('\n').slice(1); // all but --list's first comment line
const sha = (path) => spawnSync('sha1sum', [path], { encoding: 'latin1' }).stdout.slice(0, 40);

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

async function openPage() {
  await browser.open(pathToFileURL(VELMORA_PAGE).href);
  await until(() => document.body.dataset.ready);
  await browser.run(instrument, Boolean(browser.download));
}

// In the page: drops progs.dat on it, with its handle where the engine's drop has one (Chromium).
function dropProgs(text) {
  const file = new File([Uint8Array.from(text, (c) => c.charCodeAt(0))], 'progs.dat');
  const item = { kind: 'file', getAsFile: () => file };
  if (window.fakeDisk)
    [window.fakeDisk.file, item.getAsFileSystemHandle] = [file, async () => window.fakeDisk.handle];
  const event = new Event('drop', { cancelable: true });
  Object.defineProperty(event, 'dataTransfer', { value: { items: [item] } });
  document.dispatchEvent(event);
}

// Picks (or drops) a file and waits until the page has shown what it makes of it.
async function pick(id, path, drop) {
  const act = drop
    ? () => browser.run(dropProgs, readFileSync(path, 'latin1'))
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

// Saves into the picked (or dropped) file, into another of its length, or with a close() that
// fails; returns what the page said, the file before and after, and the downloaded progs.dat.
async function save(how) {
  const before = await browser.run(async (how) => {
    const file = window.fakeDisk.file ?? document.getElementById('progs').files[0];
    [window.fakeDisk.file, window.fakeDisk.closeFails] = [
      how === 'other' ? new File(['!', file.slice(1)], 'progs.dat') : file,
      how === 'fails',
    ];
    return window.readBlob(window.fakeDisk.file);
  }, how ?? null);
  await measured('velmora: saved', () => browser.click('save-progs'));
  return browser.run(
    async (before) => ({
      before,
      after: await window.readBlob(window.fakeDisk.file),
      download: await window.readBlob(window.links['progs.dat']),
      picks: window.fakeDisk.picks,
      writes: window.fakeDisk.writes,
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
    marked: 2,
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
];

for (const row of rows) {
  test(row.label, async () => {
    await openPage();
    const picks = [
      ['progs', row.progs],
      ['cmaps', row.cmaps != null && file(row.cmaps)],
    ].filter(([, path]) => path);
    for (const [id, path] of row.cmapsFirst ? picks.reverse() : picks)
      await pick(id, path, row.drop && id === 'progs');
    // The fields hold the names a run leaves (--list's with no cmaps.cfg); typed ones replace them.
    const names = await browser.run(() =>
      [...document.querySelectorAll('#slots input')].map((field) => field.value),
    );
    for (const [digit, typed, kept = typed] of row.type ?? [])
      (await browser.type(`name${digit}`, typed), (names[digit] = kept));
    const list = row.type
      ? native(null, null, ['--make-list'], Buffer.from(names.join('\n') + '\n', 'latin1')).stdout
      : (row.cmaps ?? listed(row.progs));
    const expected = native(row.progs, list);
    const [alert, where, note, disabled, marks, layout] = await browser.run(() => [
      ...['alert', 'alert-where', 'note'].map((id) => document.getElementById(id).textContent),
      document.getElementById('download-progs').disabled,
      [...document.querySelectorAll('[aria-invalid="true"]')].map((field) => [
        field.id,
        document.getElementById(field.getAttribute('aria-describedby')).textContent,
      ]),
      // Nothing wider than the window, and every control big enough for a finger.
      [
        document.documentElement.scrollWidth <= innerWidth,
        [...document.querySelectorAll('input, button')].filter(
          (c) => c.offsetWidth < 24 || c.offsetHeight < 24,
        ).length,
      ],
    ]);
    assert.deepEqual(
      [alert, disabled, where.includes('cmaps.cfg'), note !== '', layout],
      [expected.err, expected.status !== 0, Boolean(row.inFile), Boolean(row.note), [true, 0]],
    );
    assert.deepEqual(
      marks.map(([id, message]) => [id, alert.includes(` ${message} at line`)]),
      row.marked === undefined ? [] : [[`name${row.marked}`, true]],
    );
    const canSave = await browser.run(() => Boolean(document.getElementById('save-progs')));
    assert.equal(canSave, VELMORA_ENGINE === 'chromium');
    if (expected.status !== 0) return;
    assert.equal((await download('download-progs', 'progs.dat')).sha, sha(expected.progs));
    // The fields hold the names the run left, but for CRs, which a text field cannot hold.
    const fields = (await download('download-cmaps', 'cmaps.cfg')).head;
    assert.deepEqual(definitions(fields), definitions(listed(expected.progs).replaceAll('\r', '')));
    if (!canSave) return;
    const disk = await save(row.save);
    assert.deepEqual([disk.picks, disk.writes.filter((end) => end > 16383)], [row.drop ? 0 : 1, []]); // the tool's window
    if (row.save)
      return assert.deepEqual(
        [disk.message !== '' && !disk.message.startsWith('Saved'), disk.after],
        [true, disk.before],
      );
    // What is saved is what is downloaded (the stand-in keeps the bytes after those written); the
    // table shows the file's names now, and a second save needs no second dialog.
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

test('no request leaves the page', async () => {
  await openPage();
  const blocked = await browser.run(
    () =>
      new Promise((resolve) => {
        document.addEventListener('securitypolicyviolation', (event) => resolve(event.effectiveDirective));
        fetch('http://127.0.0.1:9/').catch(() => setTimeout(() => resolve('not blocked'), 500));
      }),
  );
  assert.equal(blocked, 'connect-src');
  assert.ok(
    (browser.requests ?? []).every((url) => url === pathToFileURL(VELMORA_PAGE).href),
    browser.requests,
  );
});
