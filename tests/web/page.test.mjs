// The page in Debian's Chromium, opened from disk: its downloads and its alert against the
// native tool's bytes and error line in the same folder, and not one request leaving it.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { mkdtempSync, readFileSync, rmSync, truncateSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const { VELMORA_PAGE, VELMORA_NATIVE, VELMORA_CHROMIUM } = process.env;
const scratch = mkdtempSync(join(tmpdir(), 'velmora-page-'));
const requests = [];
let browser;
before(async () => {
  const args = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--disable-background-networking'];
  browser = await chromium.launch({ executablePath: VELMORA_CHROMIUM, args });
});
after(async () => (await browser?.close(), rmSync(scratch, { recursive: true, force: true })));

// size bytes of filler with no "t!g", and slots for the given digits at 100 + 400 * digit.
function image(size, digits = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9], area = (d) => `usermap${d}\0oldbyt\0`) {
  const bytes = Buffer.alloc(size, 'progs \x01\xff data \x80 ', 'latin1');
  for (const d of digits) bytes.write(area(d).slice(0, 16) + `lt!g${d}`, 100 + 400 * d, 'latin1');
  return bytes;
}

// What the native tool does in a folder holding these files (cmaps.cfg as latin1 text).
function native(progs, cmaps, args = []) {
  const dir = mkdtempSync(join(scratch, 'native-'));
  writeFileSync(join(dir, 'progs.dat'), progs);
  if (cmaps !== null) writeFileSync(join(dir, 'cmaps.cfg'), Buffer.from(cmaps, 'latin1'));
  const run = spawnSync(VELMORA_NATIVE, args, { cwd: dir, encoding: 'latin1', maxBuffer: 1 << 20 });
  return { ...run, err: run.stderr.trimEnd(), progs: readFileSync(join(dir, 'progs.dat')) };
}
const listed = (progs) => native(progs, null, ['--list']).stdout;
const definitions = (list) => list.split('\n').slice(1); // all but --list's first comment line

async function openPage() {
  const page = await (await browser.newContext()).newPage();
  page.on('request', (request) => requests.push(request.url()));
  await page.goto(pathToFileURL(VELMORA_PAGE).href);
  await page.waitForSelector('body[data-ready]');
  return page;
}

// Picks a file (bytes, or a path) and waits until the page has shown what it makes of it.
async function pick(page, name, bytes) {
  const shown = (n = -1) => performance.getEntriesByName('velmora: names shown').length > n;
  const before = await page.evaluate(() => performance.getEntriesByName('velmora: names shown').length);
  const file = typeof bytes === 'string' || Buffer.isBuffer(bytes)
    ? { name, mimeType: 'application/octet-stream', buffer: Buffer.from(bytes, 'latin1') } : bytes.path;
  await page.getByLabel(name, { exact: true }).setInputFiles(file);
  if (name === 'progs.dat' || before > 0) await page.waitForFunction(shown, before);
}

const button = (page, name) => page.getByRole('button', { name: `Download ${name}` });
async function download(page, name) {
  const [saved] = await Promise.all([page.waitForEvent('download'), button(page, name).click()]);
  assert.equal(saved.suggestedFilename(), name);
  const path = join(mkdtempSync(join(scratch, 'download-')), name);
  await saved.saveAs(path);
  return readFileSync(path);
}

// Picked files, good and bad: the page leaves what the native tool leaves, or shows its error.
const pairs = [
  { label: 'escapes and comments', progs: image(4096), cmaps: 'LOCALMAP0="a\\"b";\r\nLOCALMAP9 = "c\\\\d"; // x\n' },
  { label: 'short file grows, cmaps.cfg first', progs: image(3900), cmaps: 'LOCALMAP5="e5";', cmapsFirst: true },
  { label: 'long file keeps its tail', progs: image(70000), cmaps: 'LOCALMAP4="\xe9\xff";' },
  { label: 'CR, zero byte and leftovers', progs: image(4096), cmaps: 'LOCALMAP1="a\rb";LOCALMAP2="x\0y";LOCALMAP3="longer";LOCALMAP3="ab";' },
  { label: 'no cmaps.cfg', progs: image(4096, undefined, (d) => `map${d}`.padEnd(16, '.')), cmaps: null },
  { label: 'error in the map list', progs: image(4096), cmaps: 'LOCALMAP1="x";\n\nLOCALMAP2="abcdefghijklmnop";' },
  { label: 'bad progs.dat', progs: image(4096, [0, 1, 2, 3, 4, 5, 6, 8, 9]), cmaps: '' },
];

for (const row of pairs) {
  test(`picked files: ${row.label}`, async () => {
    const page = await openPage();
    const picks = [['progs.dat', row.progs], ['cmaps.cfg', row.cmaps]].filter(([, bytes]) => bytes !== null);
    for (const [name, bytes] of row.cmapsFirst ? picks.reverse() : picks) await pick(page, name, bytes);
    // With no cmaps.cfg the fields hold the current names: what a run from --list's list leaves.
    const expected = native(row.progs, row.cmaps ?? listed(row.progs));
    assert.equal(await page.getByRole('alert').textContent(), expected.err);
    assert.equal(await button(page, 'progs.dat').isDisabled(), expected.status !== 0);
    if (expected.status !== 0) return;
    assert.ok((await download(page, 'progs.dat')).equals(expected.progs));
    // The fields hold the names the run left, but for CRs, which a text field cannot hold.
    const fields = (await download(page, 'cmaps.cfg')).toString('latin1');
    assert.deepEqual(definitions(fields), definitions(listed(expected.progs).replaceAll('\r', '')));
  });
}

test('typed names: both downloads agree with the native tool', async () => {
  const page = await openPage();
  const progs = image(4096);
  await pick(page, 'progs.dat', progs);
  await page.getByLabel('LOCALMAP2').fill('abcdefghijklmnop');
  assert.equal(await page.getByRole('alert').textContent(), 'Error: String too long at line 4');
  assert.ok(await button(page, 'progs.dat').isDisabled());
  await page.getByLabel('LOCALMAP2').fill('say "hi" \\ o/');
  await page.getByLabel('LOCALMAP7').fill('caf\xe9 \xff\u20ac');
  assert.equal(await page.getByLabel('LOCALMAP7').inputValue(), 'caf\xe9 \xff');
  assert.notEqual(await page.locator('#note').textContent(), '');
  await page.getByLabel('LOCALMAP0').fill('');
  assert.equal(await page.getByRole('alert').textContent(), '');

  const cmaps = (await download(page, 'cmaps.cfg')).toString('latin1');
  const run = native(progs, cmaps);
  assert.equal(run.status, 0, run.err);
  assert.ok((await download(page, 'progs.dat')).equals(run.progs));
  assert.deepEqual(definitions(cmaps), definitions(listed(run.progs)));
});

test('a 256 MiB progs.dat: patched right, every byte after the window as it was', async () => {
  const path = join(scratch, 'big.dat');
  writeFileSync(path, image(4096));
  truncateSync(path, 256 * 1024 * 1024);
  const big = readFileSync(path);
  for (const at of [16382, 16383, 65535, 65536, big.length - 1]) big[at] = 0xa5;
  writeFileSync(path, big);
  const page = await openPage();
  await pick(page, 'progs.dat', { path });
  await page.getByLabel('LOCALMAP3').fill('big one');
  const expected = native(big, listed(big).replace('"usermap3"', '"big one"')).progs;
  const sha = (bytes) => createHash('sha256').update(bytes).digest('hex');
  assert.equal(sha(await download(page, 'progs.dat')), sha(expected));
});

test('no request leaves the page', async () => {
  const page = await openPage();
  const blocked = await page.evaluate(() => new Promise((resolve) => {
    document.addEventListener('securitypolicyviolation', (event) => resolve(event.effectiveDirective));
    fetch('http://127.0.0.1:9/').catch(() => setTimeout(() => resolve('not blocked'), 500));
  }));
  assert.equal(blocked, 'connect-src');
  assert.deepEqual([...new Set(requests)], [pathToFileURL(VELMORA_PAGE).href]);
});
