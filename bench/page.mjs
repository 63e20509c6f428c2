// Times the page in headless Chromium: from picking progs.dat to the ten names shown, from a
// change in a field to its check shown, and "Save into progs.dat" (into an in-memory handle over
// the picked file), for a 1 KiB and a 256 MiB progs.dat; median of 20 each. The page measures
// all three itself (performance.measure), so the driver's own latency is left out.
//   node bench/page.mjs build/web/velmora.html [CHROMIUM]
import { mkdtempSync, rmSync, statSync, truncateSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';
import { fakePicker } from '../tests/web/fake_picker.mjs';

const [pagePath, executablePath = '/usr/bin/chromium'] = process.argv.slice(2);
const rounds = 20;
const scratch = mkdtempSync(join(tmpdir(), 'velmora-bench-page-'));

// A progs.dat of size bytes: ten slots at the start, zeros (a sparse file) after them.
function progs(size) {
  const path = join(scratch, `progs-${size}.dat`);
  const head = Buffer.alloc(Math.min(size, 4096), 'data ');
  for (let d = 0; d < 10; ++d) head.write(`map${d}`.padEnd(16, '.') + `lt!g${d}`, 40 + 96 * d, 'latin1');
  writeFileSync(path, head);
  truncateSync(path, size);
  return path;
}

const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
const browser = await chromium.launch({
  executablePath,
  args: [
    '--no-sandbox',
    '--disable-gpu',
    '--disable-quic',
    '--no-first-run',
    '--disable-background-networking',
    '--disable-component-update',
    '--disable-sync',
  ],
});
const context = await browser.newContext();
await context.addInitScript(fakePicker);
const page = await context.newPage();
await page.goto(pathToFileURL(pagePath).href);
await page.waitForSelector('body[data-ready]');

const last = (name) => page.evaluate((n) => performance.getEntriesByName(n).at(-1)?.duration, name);
console.log(`page ${statSync(pagePath).size} bytes`);
for (const size of [1024, 256 * 1024 * 1024]) {
  const path = progs(size);
  const picks = [];
  const checks = [];
  for (let round = 0; round < rounds; ++round) {
    const count = await page.evaluate(() => performance.getEntriesByName('velmora: names shown').length);
    // Picking the same file again fires no change event: clear the input first.
    await page.getByLabel('progs.dat', { exact: true }).setInputFiles([]);
    await page.getByLabel('progs.dat', { exact: true }).setInputFiles(path);
    await page.waitForFunction((n) => performance.getEntriesByName('velmora: names shown').length > n, count);
    picks.push(await last('velmora: names shown'));
    await page.getByLabel('LOCALMAP3').fill(`round ${round}`);
    checks.push(await last('velmora: check shown'));
  }
  // The first save opens the (stand-in) dialog on the file just picked; the others need none.
  await page.evaluate(() => (window.fakeDisk.file = document.getElementById('progs').files[0]));
  const saves = [];
  for (let round = 0; round < rounds; ++round) {
    await page.getByLabel('LOCALMAP4').fill(`save ${round}`);
    const count = await page.evaluate(() => performance.getEntriesByName('velmora: saved').length);
    await page.getByRole('button', { name: 'Save into progs.dat' }).click();
    await page.waitForFunction((n) => performance.getEntriesByName('velmora: saved').length > n, count);
    if ((await page.getByRole('status').textContent()) !== 'Saved into progs.dat.')
      throw new Error('the save failed');
    saves.push(await last('velmora: saved'));
  }
  const label = size === 1024 ? '1 KiB' : '256 MiB';
  console.log(
    `${label} progs.dat: pick to names shown ${median(picks).toFixed(1)} ms, ` +
      `field change to check shown ${median(checks).toFixed(1)} ms, ` +
      `save into progs.dat ${median(saves).toFixed(1)} ms (median of ${rounds})`,
  );
}
await browser.close();
rmSync(scratch, { recursive: true, force: true });
