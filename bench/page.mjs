// Times the page in headless Chromium, served from 127.0.0.1 (the origin that the file system of
// its saves needs):
// - for a 1 KiB and a 256 MiB progs.dat, median of 20 each: from picking it to the ten names
//   shown, from a change in a field to its check shown, and "Save into progs.dat" into a copy of
//   it in the origin's private file system, through Chromium's own streams;
// - for a game folder (1,000 loose maps, 10 mods, two 512 MiB sparse archives of 2,000 entries,
//   200 of them maps), median of 5: from the folder's pick to its maps offered, against two floors,
//   bare pages that read only the same headers, directories and entity lumps of the same files as
//   the page (those of mod0, the folder of the progs.dat it uses, and of id1 beside it): the
//   sequential floor awaits each read before the next; the overlapped floor starts every file's
//   first read at once, and an archive's map reads at once when its directory is in; and how many
//   bytes and reads each made, and how many of those reads took less than 4 KiB short of a file's
//   end (the page takes 4 KiB at least, so that a map's header and entities come in one read).
// - a save into a 512 MiB pack (sparse) that holds progs.dat, median of 5, through the folder's own
//   handles in the origin's private file system.
// The page measures every span itself (performance.measure), so the driver's latency is left out.
//   node bench/page.mjs build/web/velmora.html [CHROMIUM]
import { closeSync, mkdtempSync, openSync, readFileSync, rmSync, statSync, truncateSync } from 'node:fs';
import { writeFileSync, writeSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';
import { fakeDialogs } from '../tests/web/fake_dialogs.mjs';
import { level, writeFolder } from '../tests/web/game_folder.mjs';

const [pagePath, executablePath = '/usr/bin/chromium'] = process.argv.slice(2);
const rounds = 20;
const folderRounds = 5;
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

// A pack archive of `size` bytes (sparse) with `count` entries, one in ten a map with a title; the
// other entries' data lies in the sparse part, the directory at the end.
function bigPack(path, size, count, name) {
  const entries = [];
  const file = openSync(path, 'w');
  let at = 12;
  for (let i = 0; i < count; ++i) {
    const map = i % 10 === 0 && level(`${name} map ${i}`);
    const entry = map ? `maps/${name}_${i}.bsp` : `sound/${name}/${i}.wav`;
    const length = map ? map.length : Math.floor((size - 1024 * 1024) / count);
    if (map) writeSync(file, map, 0, map.length, at);
    entries.push(Buffer.concat([Buffer.from(entry.padEnd(56, '\0'), 'latin1'), Buffer.alloc(8)]));
    entries.at(-1).writeInt32LE(at, 56);
    entries.at(-1).writeInt32LE(length, 60);
    at += length;
  }
  const directory = Buffer.concat(entries);
  const head = Buffer.from('PACK\0\0\0\0\0\0\0\0', 'latin1');
  head.writeInt32LE(size - directory.length, 4);
  head.writeInt32LE(directory.length, 8);
  writeSync(file, head, 0, 12, 0);
  writeSync(file, directory, 0, directory.length, size - directory.length);
  closeSync(file);
}

function gameFolder() {
  const root = join(scratch, 'game');
  const files = { 'id1/progs.dat': readFileSync(progs(4096)) };
  for (let mod = 0; mod < 10; ++mod) {
    files[`mod${mod}/progs.dat`] = files['id1/progs.dat'];
    files[`mod${mod}/cmaps.cfg`] = Buffer.from(`LOCALMAP0="mod${mod}_0";\n`);
    for (let i = 0; i < 100; ++i) files[`mod${mod}/maps/mod${mod}_${i}.bsp`] = level(`Mod ${mod}, map ${i}`);
  }
  writeFolder(root, files);
  bigPack(join(root, 'id1/pak0.pak'), 512 * 1024 * 1024, 2000, 'pak0');
  bigPack(join(root, 'id1/pak1.pak'), 512 * 1024 * 1024, 2000, 'pak1');
  return root;
}

// The floors: pages that read the same bytes the page reads of each file, and do nothing else. The
// page reads only the folder of the progs.dat it uses (mod0 here, the first in path order with a
// cmaps.cfg beside it) and id1 beside that, so the floors skip every other file.
function floorPage(body) {
  return `<!doctype html><input type="file" id="folder" webkitdirectory><script type="module">
const read = async (blob, at, length) => new Uint8Array(await blob.slice(at, at + length).arrayBuffer());
const int32 = (bytes, at) => new DataView(bytes.buffer).getInt32(at, true);
const map = async (blob) => {
  const head = await read(blob, 0, 124);
  await read(blob, int32(head, 4), int32(head, 8));
};
const kept = (path) => path.startsWith('game/mod0/') || path.startsWith('game/id1/');
const pack = async (file) => {
  const head = await read(file, 0, 12);
  const directory = await read(file, int32(head, 4), int32(head, 8));
  const maps = [];
  for (let at = 0; at < directory.length; at += 64) {
    if (directory[at] !== 0x6d) continue; // maps/
    const start = int32(directory, at + 56);
    maps.push(file.slice(start, start + int32(directory, at + 60)));
  }
  return maps;
};
const first = (file) => {
  const path = file.webkitRelativePath.toLowerCase();
  if (path.endsWith('progs.dat') || path.endsWith('cmaps.cfg')) return read(file, 0, 65536);
  if (path.endsWith('.bsp')) return map(file);
  if (path.endsWith('.pak')) return pack(file);
};
document.getElementById('folder').addEventListener('change', async (event) => {
  const start = performance.now();
  const files = [...event.target.files].filter((file) => kept(file.webkitRelativePath.toLowerCase()));
${body}
  performance.measure('velmora: maps offered', { start });
});
</script>`;
}
const floors = {
  sequential: floorPage(`
  for (const file of files) {
    const maps = await first(file);
    if (Array.isArray(maps)) for (const blob of maps) await map(blob);
  }`),
  // Keeps as many reads in flight as the files allow: only a map's lump waits on its header, and an
  // archive's maps on its directory.
  overlapped: floorPage(`
  await Promise.all(
    files.map(async (file) => {
      const maps = await first(file);
      if (Array.isArray(maps)) await Promise.all(maps.map(map));
    }),
  );`),
};

// Counts the reads of the page and the bytes they take, and those short of 4 KiB that stop before
// the file's end; and keeps the longest task (Chromium's long tasks,
// 50 ms and more): the page must never keep the browser from drawing or taking input for 100 ms.
function countReads() {
  const arrayBuffer = Blob.prototype.arrayBuffer;
  window.bytesRead = 0;
  window.tasks = [];
  new PerformanceObserver((list) => window.tasks.push(...list.getEntries())).observe({ type: 'longtask' });
  // The longest task since the folder's pick. The browser builds the input's list of files before
  // it tells the page (half a second for this folder, in the floors too): that task is not the page's.
  window.longest = () => {
    const start = performance.getEntriesByName('velmora: maps offered').at(-1).startTime;
    return Math.max(
      0,
      ...window.tasks.filter((task) => task.startTime >= start).map((task) => task.duration),
    );
  };
  const slice = Blob.prototype.slice;
  Object.assign(window, { reads: 0, shortReads: 0 });
  Blob.prototype.slice = function (start = 0, end = this.size) {
    return Object.assign(slice.call(this, start, end), { inside: Math.min(end, this.size) < this.size });
  };
  Blob.prototype.arrayBuffer = async function () {
    const bytes = await arrayBuffer.call(this);
    window.bytesRead += bytes.byteLength;
    window.reads += 1;
    window.shortReads += bytes.byteLength < 4096 && this.inside ? 1 : 0;
    return bytes;
  };
}

const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
const server = createServer((request, response) =>
  response.end(floors[request.url.slice(1, -'.html'.length)] ?? readFileSync(pagePath)),
);
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const origin = `http://127.0.0.1:${server.address().port}`;
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
await context.addInitScript(fakeDialogs);
await context.addInitScript(countReads);
const page = await context.newPage();
await page.goto(`${origin}/velmora.html`);
await page.waitForSelector('body[data-ready]');

const last = (name) => page.evaluate((n) => performance.getEntriesByName(n).at(-1)?.duration, name);
async function measured(name, act) {
  const count = await page.evaluate((n) => performance.getEntriesByName(n).length, name);
  await act();
  await page.waitForFunction(([n, count]) => performance.getEntriesByName(n).length > count, [name, count], {
    timeout: 120000,
  });
  return last(name);
}

console.log(`page ${statSync(pagePath).size} bytes`);
const progsInput = page.getByLabel('progs.dat', { exact: true });
for (const size of [1024, 256 * 1024 * 1024]) {
  const path = progs(size);
  const picks = [];
  const checks = [];
  for (let round = 0; round < rounds; ++round) {
    // Picking the same file again fires no change event: clear the input first.
    await progsInput.setInputFiles([]);
    picks.push(await measured('velmora: names shown', () => progsInput.setInputFiles(path)));
    await page.getByLabel('LOCALMAP3').fill(`round ${round}`);
    checks.push(await last('velmora: check shown'));
  }
  // The first save opens the (stand-in) dialog on a copy of the file just picked; the others need
  // none.
  await page.evaluate(async () => {
    const disk = await navigator.storage.getDirectory();
    const handle = await disk.getFileHandle('progs.dat', { create: true });
    const stream = await handle.createWritable();
    await stream.write(document.getElementById('progs').files[0]);
    await stream.close();
    window.dialogs.file = handle;
  });
  const saves = [];
  for (let round = 0; round < rounds; ++round) {
    await page.getByLabel('LOCALMAP4').fill(`save ${round}`);
    saves.push(
      await measured('velmora: saved', () =>
        page.getByRole('button', { name: 'Save into progs.dat' }).click(),
      ),
    );
    if ((await page.locator('#saved').textContent()) !== 'Saved into progs.dat.') {
      throw new Error('the save failed');
    }
  }
  const label = size === 1024 ? '1 KiB' : '256 MiB';
  console.log(
    `${label} progs.dat: pick to names shown ${median(picks).toFixed(1)} ms, ` +
      `field change to check shown ${median(checks).toFixed(1)} ms, ` +
      `save into progs.dat ${median(saves).toFixed(1)} ms (median of ${rounds})`,
  );
}

// A save into a 512 MiB pack (sparse) whose progs.dat lies in it: the mod's folder goes into the
// origin's private file system and is picked in the (stand-in) folder dialog, so that the save
// writes through the folder's own handles, as after a real pick. Chromium copies the whole pack
// before the first write: the page says a save is under way when it takes long.
function packWithProgs(size) {
  const path = join(scratch, 'pak0.pak');
  const data = readFileSync(progs(4096));
  const entry = (name, at, length) => {
    const bytes = Buffer.alloc(64);
    bytes.write(name, 'latin1');
    bytes.writeInt32LE(at, 56);
    bytes.writeInt32LE(length, 60);
    return bytes;
  };
  const directory = Buffer.concat([
    entry('progs.dat', 12, data.length),
    entry('sound/filler.wav', 12 + data.length, size - 128 - 12 - data.length),
  ]);
  const head = Buffer.from('PACK\0\0\0\0\0\0\0\0', 'latin1');
  head.writeInt32LE(size - directory.length, 4);
  head.writeInt32LE(directory.length, 8);
  const file = openSync(path, 'w');
  writeSync(file, head, 0, 12, 0);
  writeSync(file, data, 0, data.length, 12);
  writeSync(file, directory, 0, directory.length, size - directory.length);
  closeSync(file);
  return path;
}
{
  const packRounds = 5;
  await page.evaluate(() =>
    document.body.append(Object.assign(document.createElement('input'), { type: 'file', id: 'bench-file' })),
  );
  await page.setInputFiles('#bench-file', packWithProgs(512 * 1024 * 1024));
  await page.evaluate(async () => {
    const disk = await navigator.storage.getDirectory();
    const mod = await (
      await disk.getDirectoryHandle('game', { create: true })
    ).getDirectoryHandle('mod', { create: true });
    const stream = await (await mod.getFileHandle('pak0.pak', { create: true })).createWritable();
    await stream.write(document.getElementById('bench-file').files[0]);
    await stream.close();
    window.dialogs.folder = await disk.getDirectoryHandle('game');
    // Whether the page said that a save was under way before it said how it went.
    window.underWay = 0;
    new MutationObserver(() => {
      if (document.getElementById('saved').textContent.startsWith('Saving into')) window.underWay += 1;
    }).observe(document.getElementById('saved'), { childList: true, characterData: true, subtree: true });
  });
  await measured('velmora: maps offered', () => page.click('#folder'));
  const saves = [];
  for (let round = 0; round < packRounds; ++round) {
    await page.getByLabel('LOCALMAP4').fill(`pack ${round}`);
    saves.push(await measured('velmora: saved', () => page.click('#save-progs')));
    const said = await page.locator('#saved').textContent();
    if (!said.startsWith('Saved into')) throw new Error(`the save into the pack failed: ${said}`);
  }
  const underWay = await page.evaluate(() => window.underWay);
  console.log(
    `512 MiB pak0.pak holding progs.dat: save ${median(saves).toFixed(0)} ms (median of ${packRounds}; ` +
      `${saves.map((ms) => ms.toFixed(0)).join(', ')}), "Saving into ..." shown in ${underWay} of them`,
  );
  await page.evaluate(async () =>
    (await navigator.storage.getDirectory()).removeEntry('game', { recursive: true }),
  );
}

// The folder, in the page and in both floors, reversing their order every other round.
const folder = gameFolder();
const times = { page: [], sequential: [], overlapped: [] };
const read = {};
let longest = 0;
for (let round = 0; round < folderRounds; ++round) {
  const order = ['page', 'sequential', 'overlapped'];
  for (const which of round % 2 ? order.reverse() : order) {
    await page.goto(`${origin}/${which === 'page' ? 'velmora' : which}.html`);
    if (which === 'page') await page.waitForSelector('body[data-ready]');
    await page.evaluate(() => Object.assign(window, { bytesRead: 0, reads: 0, shortReads: 0 }));
    times[which].push(await measured('velmora: maps offered', () => page.setInputFiles('#folder', folder)));
    read[which] = await page.evaluate(() => [window.bytesRead, window.reads, window.shortReads]);
    if (which === 'page') longest = Math.max(longest, await page.evaluate(() => window.longest()));
  }
}
const found = await (async () => {
  await page.goto(`${origin}/velmora.html`);
  await page.waitForSelector('body[data-ready]');
  await measured('velmora: maps offered', () => page.setInputFiles('#folder', folder));
  return page.evaluate(() => document.getElementById('maps-found').textContent);
})();
const ms = Object.fromEntries(Object.entries(times).map(([which, spans]) => [which, median(spans)]));
const mib = (which) =>
  `${(read[which][0] / 1048576).toFixed(2)} MiB in ${read[which][1]} reads (${read[which][2]} under 4 KiB)`;
console.log(`game folder: ${found}`);
console.log(
  `folder to maps offered (median of ${folderRounds}): page ${ms.page.toFixed(0)} ms, ` +
    `sequential floor ${ms.sequential.toFixed(0)} ms, overlapped floor ${ms.overlapped.toFixed(0)} ms; ` +
    `ratio page/sequential ${(ms.page / ms.sequential).toFixed(2)}, ` +
    `page/overlapped ${(ms.page / ms.overlapped).toFixed(2)}; ` +
    `read: page ${mib('page')}, sequential ${mib('sequential')}, overlapped ${mib('overlapped')}; ` +
    `the page's longest task ${longest.toFixed(0)} ms (0: none of 50 ms or more)`,
);
await browser.close();
server.close();
rmSync(scratch, { recursive: true, force: true });
