// copies.mjs: the copies of progs.dat that a save writes, as the core names them (--map-table's copy
// rows): the mod's loose progs.dat and the entries of its packs that engines run instead. Each copy
// is checked and patched on its own bytes, by a run of the tool that sees them as its progs.dat: the
// copies may be different builds, with their slots at different offsets.
import { folderTree } from './game_files.mjs';
import { readAhead, readMapTable, runGameTool } from './game_run.mjs';
import { state } from './state.mjs';
import { runTool } from './tool.mjs';

// Who runs a copy, in the words the page gives the levels.
const RUN_BY = {
  every: 'every engine runs it',
  quakespasm: 'Quakespasm, ironwail and vkQuake run it',
  darkplaces: 'DarkPlaces and FTE run it',
};

// The core names a copy in a pack with its pack ("pak0.pak:progs.dat"), the loose one by its file.
export const inPack = (copy) => copy.where !== copy.file;

export const runBy = (copy) => RUN_BY[copy.engines] ?? copy.engines;

// Whether Quakespasm and its kin run none of the copies (they run the base game's then).
export const noQuakespasm = (copies) => copies.every((copy) => copy.engines === 'darkplaces');

// The copy's first bytes, as many as a run reads and writes of it, through the folder's cache of the
// file's reads (none where the file is gone).
export async function readCopy(copy) {
  await copy.entry.lazy.fill(copy.offset, copy.bytes);
  const range = copy.entry.lazy.cached(copy.offset, copy.bytes);
  if (range.error) throw range.error;
  return range.bytes.slice(copy.offset - range.at, copy.offset - range.at + copy.bytes);
}

// A progs.dat picked alone: its one copy, read as far as the page ever reads a picked file.
export const pickedCopy = (blob, head, bytes) => ({
  file: 'progs.dat',
  where: 'progs.dat',
  offset: 0,
  bytes,
  blob,
  head,
});

// The copies a run in the folder at `dir` (a path of the listing) writes, each with its listing entry
// and first bytes, and why no run can write them (the core's words) or null. A run looks for them
// only among the folder's own files, so the core gets no other: no subfolder's maps to read.
export async function copiesIn(listed, dir, pause) {
  const listedHere = listed.filter((f) => f.path.slice(0, f.path.lastIndexOf('/')) === dir);
  // An old copy named in capitals (PROGS.DAT) is the loose file where the system ignores case, as
  // Windows does; the core's folder here tells case apart, so it gets that file as progs.dat, and
  // the page names it as it is named.
  const named = (f) => f.path.slice(dir.length + 1);
  const capitals = !listedHere.some((f) => named(f) === 'progs.dat')
    ? listedHere.find((f) => named(f).toLowerCase() === 'progs.dat')
    : undefined;
  const own = listedHere.map((f) => (f === capitals ? { ...f, path: `${dir}/progs.dat` } : f));
  // The core reads the maps inside the folder's packs too: several packs are read at once, each by
  // a run of its own, and the run that answers finds them read.
  const packs = own.filter((f) => /\.pak$/i.test(f.path));
  if (packs.length > 1) await readAhead(packs, dir.split('/'), pause);
  const run = await runGameTool(['--map-table'], folderTree(own), dir.split('/'), new Uint8Array(), pause);
  const table = readMapTable(run.out);
  const copies = [];
  for (const copy of table.copies) {
    const entry = own.find((f) => f.path === `${dir}/${copy.file}`);
    const name = entry.lazy === capitals?.lazy && copy.where === 'progs.dat' ? named(capitals) : null;
    const found = { ...copy, ...(name && { file: name, where: name }), entry, blob: entry.lazy.blob };
    copies.push({ ...found, head: await readCopy(found).catch(() => new Uint8Array()) });
  }
  return { copies, error: table.copyError };
}

// What the tool says of the copies in use with this map list, as one run: the first error, the copy
// it is about named as the core names it where that is not the loose file (a run checks every copy's
// slots before it reads the list), else the first copy's --check.
export function checkCopies(mapList) {
  if (state.copyError) return { status: 1, err: `Error: ${state.copyError}\n` };
  for (const copy of state.copies) {
    // A copy's bytes change only with a save: its slots are read once for each keystroke's check.
    if (copy.slots?.head !== copy.head) {
      copy.slots = { head: copy.head, run: runTool(['--slots'], { 'progs.dat': copy.head }) };
    }
    const run = copy.slots.run;
    if (run.status !== 0) {
      return inPack(copy) ? { ...run, err: `${run.err.trimEnd()} (${copy.where})\n` } : run;
    }
  }
  return runTool(['--check'], { 'progs.dat': state.head, 'cmaps.cfg': mapList });
}

// Each copy in use with the bytes a run leaves in it, never more than the core says a run may write
// (a copy in a pack ends where its entry does); or the first failed run.
export function patchCopies(mapList) {
  const patched = [];
  for (const copy of state.copies) {
    const run = runTool([], { 'progs.dat': copy.head, 'cmaps.cfg': mapList });
    if (run.status !== 0) return { run };
    patched.push({ copy, bytes: run.files['progs.dat'].subarray(0, copy.bytes) });
  }
  return { patched };
}

// The files a save or download changes, each once, with its patched copies in order: a file as the
// run leaves it is the picked one with each copy's bytes put in at its offset, never held whole.
export function patchedFiles(patched) {
  const files = new Map();
  for (const one of patched) files.set(one.copy.file, [...(files.get(one.copy.file) ?? []), one]);
  return [...files].map(([name, copies]) => {
    copies.sort((a, b) => a.copy.offset - b.copy.offset);
    const parts = [];
    let at = 0;
    for (const { copy, bytes } of copies) {
      parts.push(copy.blob.slice(at, copy.offset), bytes);
      at = copy.offset + copy.bytes;
    }
    parts.push(copies[0].copy.blob.slice(at));
    return { name, copies, parts };
  });
}
