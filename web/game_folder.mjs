// game_folder.mjs: the game in a listed folder: its progs.dat files that have the ten slots, each
// with the cmaps.cfg beside it, and what the core says of the game of the folder in use.
import { LazyFile, folderTree } from './game_files.mjs';
import { readAhead, readMapTable, runGameTool } from './game_run.mjs';
import { placeInFolder } from './game_view.mjs';
import { HEAD } from './saving.mjs';
import { slotTable } from './slots.mjs';
import { state } from './state.mjs';

const lower = (text) => text.toLowerCase();
const fileName = (path) => path.slice(path.lastIndexOf('/') + 1);
export const folderOf = (path) => path.slice(0, path.lastIndexOf('/'));
const inOrder = (a, b) => (a < b ? -1 : a > b ? 1 : 0);

// A file gone since it was listed stays in the folder, unreadable, as it would on disk.
const gone = (error) => ({ size: 0, slice: () => ({ arrayBuffer: () => Promise.reject(error) }) });

export async function head(file) {
  return new Uint8Array(await file.slice(0, HEAD).arrayBuffer());
}

// The folder's files as the core will read them, and its progs.dat files that have the ten slots,
// each with the cmaps.cfg beside it.
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
  for (const entry of listed.filter((f) => lower(fileName(f.path)) === 'progs.dat')) {
    await pause(() => `Looking at ${entry.path}`, true);
    const bytes = await head(entry.lazy.blob).catch(() => null);
    if (bytes !== null && slotTable(bytes).run.status === 0) {
      folder.candidates.push({
        ...entry,
        place: entry.path.slice(name.length + 1),
        cmaps: beside.get(folderOf(entry.path)),
      });
    } else ++folder.passedOver;
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

// With no progs.dat to write, the game is that of a folder whose pack holds one, else id1's, else
// the picked folder's.
export async function gameWithoutProgs(folder, pause) {
  const packFolders = new Set(
    folder.files.filter((f) => lower(f.path).endsWith('.pak')).map((f) => folderOf(f.path)),
  );
  for (const path of packFolders) {
    await readGame(folder, path.split('/'), pause);
    const packed = state.game.warnings.find((w) => w.word === 'progs-in-pack' && !w.where.startsWith('../'));
    if (packed) return placeInFolder(packed.where);
  }
  const id1 = folder.files.find((f) => lower(f.path).startsWith(`${lower(folder.name)}/id1/`));
  await readGame(folder, id1 ? folderOf(id1.path).split('/').slice(0, 2) : [folder.name], pause);
  return null;
}
