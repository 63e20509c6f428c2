// game_folder.mjs: the game in a listed folder: the folders whose copies of progs.dat have the ten
// slots, each with the cmaps.cfg beside them, and what the core says of the game of the folder in use.
import { copiesIn, inPack } from './copies.mjs';
import { LazyFile, folderTree } from './game_files.mjs';
import { readAhead, readMapTable, runGameTool } from './game_run.mjs';
import { HEAD } from './saving.mjs';
import { slotTable } from './slots.mjs';
import { state } from './state.mjs';

const lower = (text) => text.toLowerCase();
const fileName = (path) => path.slice(path.lastIndexOf('/') + 1);
export const folderOf = (path) => path.slice(0, path.lastIndexOf('/'));
const inOrder = (a, b) => (a < b ? -1 : a > b ? 1 : 0);
// How many folders the core looks through at once for their copies of progs.dat.
const PROBES = 8;

// A file gone since it was listed stays in the folder, unreadable, as it would on disk.
const gone = (error) => ({ size: 0, slice: () => ({ arrayBuffer: () => Promise.reject(error) }) });

export async function head(file) {
  return new Uint8Array(await file.slice(0, HEAD).arrayBuffer());
}

// The folder's files as the core will read them, and the folders whose copies of progs.dat have the
// ten slots (the candidates), each with the cmaps.cfg beside them.
export async function listGame(name, files, pause) {
  const listed = [];
  for (let i = 0; i < files.length; i += 64) {
    await pause(() => `Looking through the folder: file ${i + 1} of ${files.length}`);
    const batch = files.slice(i, i + 64);
    const blobs = await Promise.all(batch.map((entry) => entry.file().catch(gone)));
    batch.forEach((entry, j) => listed.push({ ...entry, lazy: new LazyFile(blobs[j]) }));
  }
  listed.sort((a, b) => inOrder(a.path, b.path));
  const beside = new Map(
    listed.filter((f) => lower(fileName(f.path)) === 'cmaps.cfg').map((f) => [folderOf(f.path), f]),
  );
  const folder = {
    name,
    files: listed,
    tree: folderTree(listed),
    candidates: [],
    progs: null,
    passedOver: 0,
  };
  // A run finds its copies of progs.dat among a folder's own files: ask the core in each folder
  // holding a progs.dat or a pack, several at once (their packs are read at once). The first copy
  // is the one whose slots the table shows.
  const dirs = new Set(
    listed.filter((f) => /^progs\.dat$|\.pak$/i.test(fileName(f.path))).map((f) => folderOf(f.path)),
  );
  const sorted = [...dirs].sort(inOrder);
  for (let i = 0; i < sorted.length; i += PROBES) {
    await pause(() => `Looking at ${sorted[i]}`, true);
    const found = await Promise.all(sorted.slice(i, i + PROBES).map((dir) => copiesIn(listed, dir, pause)));
    found.forEach(({ copies, error }, j) => {
      if (copies.length === 0) return;
      // The base game's own progs.dat, in its pak0.pak, never has the slots: only a loose one
      // without them is worth a word.
      if (slotTable(copies[0].head).run.status !== 0) {
        folder.passedOver += inPack(copies[0]) ? 0 : 1;
        return;
      }
      const dir = sorted[i + j];
      const inFolder = dir.slice(name.length + 1);
      folder.candidates.push({
        dir,
        inFolder,
        copies,
        copyError: error,
        place: copies.map((copy) => (inFolder ? `${inFolder}/${copy.where}` : copy.where)).join(' and '),
        cmaps: beside.get(dir),
        // The folder's handle, to save cmaps.cfg beside the copies, where the folder came with one.
        handle: copies[0].entry.folder,
      });
    });
  }
  return folder;
}

// Asks the core what the game of the folder at `path` holds (that folder and id1 beside it).
export async function readGame(folder, path, pause) {
  const near = [`${path.join('/')}/`, `${path.slice(0, -1).join('/')}/id1/`.toLowerCase()];
  const files = folder.files.filter((f) => f.path.startsWith(near[0]) || lower(f.path).startsWith(near[1]));
  await readAhead(files, path, pause);
  const run = await runGameTool(['--map-table'], folder.tree, path, new Uint8Array(), pause);
  state.game = { ...readMapTable(run.out), tree: folder.tree, path };
}

// With no progs.dat to write, the game is id1's, else the picked folder's.
export async function gameWithoutProgs(folder, pause) {
  const id1 = folder.files.find((f) => lower(f.path).startsWith(`${lower(folder.name)}/id1/`));
  await readGame(folder, id1 ? folderOf(id1.path).split('/').slice(0, 2) : [folder.name], pause);
}
