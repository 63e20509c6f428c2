// The page in Debian's Chromium, opened from disk: its downloads and its alert against the
// native tool's bytes and error line in the same folder, and not one request leaving it.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { copyFileSync, createReadStream, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const { VELMORA_PAGE, VELMORA_NATIVE, VELMORA_CHROMIUM } = process.env;
const scratch = mkdtempSync(join(tmpdir(), 'velmora-page-'));
const requests = [];
let browser;

// size bytes of filler with no "t!g", and slots for the given digits at 100 + 400 * digit.
function image(size, digits = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9], area = (d) => `usermap${d}\0oldbyt\0`) {
  const bytes = Buffer.alloc(size, 'progs \x01\xff data \x80 ', 'latin1');
  for (const d of digits) bytes.write(area(d).slice(0, 16) + `lt!g${d}`, 100 + 400 * d, 'latin1');
  return bytes;
}

// What the native tool does in a folder holding these files.
function native(progs, cmaps, args = []) {
  const dir = mkdtempSync(join(scratch, 'native-'));
  writeFileSync(join(dir, 'progs.dat'), progs);
  if (cmaps !== null) writeFileSync(join(dir, 'cmaps.cfg'), Buffer.from(cmaps, 'latin1'));
  const run = spawnSync(VELMORA_NATIVE, args, { cwd: dir, encoding: 'latin1' });
  return { ...run, err: run.stderr.trimEnd(), progs: readFileSync(join(dir, 'progs.dat')) };
}

async function openPage() {
  const page = await (await browser.newContext()).newPage();
  page.on('request', (request) => requests.push(request.url()));
  await page.goto(pathToFileURL(VELMORA_PAGE).href);
  await page.waitForSelector('body[data-ready]');
  return page;
}

// Picks a file and waits until the page has shown what it makes of it.
async function pick(page, name, bytes) {
  const shown = () => performance.getEntriesByName('velmora: names shown').length;
  const before = await page.evaluate(shown);
  await page.getByLabel(name, { exact: true }).setInputFiles(Buffer.isBuffer(bytes) || typeof bytes === 'string' ? file(name, bytes) : bytes.path);
  if (name === 'progs.dat' || before > 0) await page.waitForFunction((n) => performance.getEntriesByName('velmora: names shown').length > n, before);
}

const file = (name, bytes) => ({ name, mimeType: 'application/octet-stream', buffer: Buffer.from(bytes, 'latin1') });
const button = (page, name) => page.getByRole('button', { name });

async function download(page, name) {
  const [saved] = await Promise.all([page.waitForEvent('download'), button(page, `Download ${name}`).click()]);
  assert.equal(saved.suggestedFilename(), name);
  const path = join(mkdtempSync(join(scratch, 'download-')), name);
  await saved.saveAs(path);
  return path;
}

before(async () => {
  browser = await chromium.launch({
    executablePath: VELMORA_CHROMIUM,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
});
after(async () => {
  await browser?.close();
  rmSync(scratch, { recursive: true, force: true });
});

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
    const expected = native(row.progs, row.cmaps ?? native(row.progs, null, ['--list']).stdout);
    assert.equal(await page.getByRole('alert').textContent(), expected.err);
    assert.equal(await button(page, 'Download progs.dat').isDisabled(), expected.status !== 0);
    if (expected.status !== 0) return;
    assert.ok(readFileSync(await download(page, 'progs.dat')).equals(expected.progs));
    // The fields hold the names the run left, but for CRs, which a text field cannot hold.
    const listed = native(expected.progs, null, ['--list']).stdout.replaceAll('\r', '');
    const fields = readFileSync(await download(page, 'cmaps.cfg'), 'latin1');
    assert.deepEqual(fields.split('\n').slice(1), listed.split('\n').slice(1));
  });
}

test('typed names: both downloads agree with the native tool', async () => {
  const page = await openPage();
  const progs = image(4096);
  await pick(page, 'progs.dat', progs);
  await page.getByLabel('LOCALMAP2').fill('abcdefghijklmnop');
  assert.equal(await page.getByRole('alert').textContent(), 'Error: String too long at line 4');
  assert.ok(await button(page, 'Download progs.dat').isDisabled());
  await page.getByLabel('LOCALMAP2').fill('say "hi" \\ o/');
  await page.getByLabel('LOCALMAP7').fill('caf\xe9 \xff\u20ac');
  assert.equal(await page.getByLabel('LOCALMAP7').inputValue(), 'caf\xe9 \xff');
  assert.notEqual(await page.locator('#note').textContent(), '');
  await page.getByLabel('LOCALMAP0').fill('');
  assert.equal(await page.getByRole('alert').textContent(), '');

  const cmaps = readFileSync(await download(page, 'cmaps.cfg'), 'latin1');
  const run = native(progs, cmaps);
  assert.equal(run.status, 0, run.err);
  assert.ok(readFileSync(await download(page, 'progs.dat')).equals(run.progs));
  // The form --list writes: the same ten definitions as a --list of the patched file.
  const listed = native(run.progs, null, ['--list']).stdout;
  assert.deepEqual(cmaps.split('\n').slice(1), listed.split('\n').slice(1));
});

test('a 256 MiB progs.dat: patched right, every byte after the window as it was', async () => {
  const path = join(scratch, 'big.dat');
  const big = Buffer.alloc(256 * 1024 * 1024);
  image(4096).copy(big);
  for (const at of [16382, 16383, 65535, 65536, big.length - 1]) big[at] = 0xa5;
  writeFileSync(path, big);
  const page = await openPage();
  await pick(page, 'progs.dat', { path });
  await page.getByLabel('LOCALMAP3').fill('big one');
  const sha = async (file) => {
    const hash = createHash('sha256');
    for await (const chunk of createReadStream(file)) hash.update(chunk);
    return hash.digest('hex');
  };
  const expected = native(big, native(big, null, ['--list']).stdout.replace('"usermap3"', '"big one"'));
  const nativePath = join(scratch, 'big-native.dat');
  writeFileSync(nativePath, expected.progs);
  assert.equal(await sha(await download(page, 'progs.dat')), await sha(nativePath));
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
