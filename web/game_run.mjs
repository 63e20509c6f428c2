// game_run.mjs: asks the core what a game folder holds and what the engines will do with it
// (`velmora --map-table`), in a run that waits while the browser reads the files it asks for.
import {
  ConsoleStdout,
  File,
  OpenFile,
  PreopenDirectory,
  WASI,
  WASIProcExit,
} from '@bjorn3/browser_wasi_shim';
import * as Asyncify from 'asyncify-wasm';
import { LazyOpenFile, directoryOf, folderTree } from './game_files.mjs';
import { bytesToText, collected, compiledTool, hexToText } from './tool.mjs';

// How many runs read at once before the run that answers: the core reads one range at a time, and
// a browser answers many reads in flight about as fast as one.
const READERS = 8;
// How long a run over ranges already read may keep the page before it lets it draw and take input.
const SLICE_MS = 25;
// asyncify-wasm keeps a run's saved stack at these bytes of the module's memory: its start and end
// are at byte 16, and the module's own data starts at the end.
const UNWIND_DATA = 16;
const UNWIND_END = 1024;

// The most of the saved-stack area any run has used: the tests hold it below UNWIND_END.
export const unwound = { deepest: 0 };
// When a run last let the page have a turn: runs that read at once share the page's time.
let lastTurn = performance.now();

// Runs `velmora ...args` in the folder at `path` (names from the tree's root) of `tree`, with the
// folder above it as "..", and `input` as standard input. `pause(what, reads)` gives the page its
// turns and throws once the page has cancelled the reading. Returns the status and output as text.
export async function runGameTool(args, tree, path, input, pause) {
  // A folder missing from the tree (from a part of the folder read ahead) is an empty one.
  const nodeAt = (names) => names.reduce((folder, name) => folder?.get(name), tree) ?? new Map();
  const made = new Map();
  const here = new PreopenDirectory('.', new Map());
  const above = new PreopenDirectory('..', new Map());
  here.dir = directoryOf(nodeAt(path), made);
  above.dir = directoryOf(nodeAt(path.slice(0, -1)), made);
  const out = [];
  const err = [];
  const fds = [
    new OpenFile(new File(input, { readonly: true })),
    new ConsoleStdout((bytes) => out.push(bytes.slice())),
    new ConsoleStdout((bytes) => err.push(bytes.slice())),
    here,
    above,
  ];
  const wasi = new WASI(['velmora', ...args], [], fds, { debug: false });
  const imports = { ...wasi.wasiImport, fd_read: waitingRead(wasi, pause) };
  const instance = await Asyncify.instantiate(compiledTool(), { wasi_snapshot_preview1: imports });
  wasi.inst = instance;
  let status = 0;
  try {
    // Runs started together start one after another, with the page's turns between them: each
    // lists its folders before its first read, and together they would hold the page too long.
    await pause(() => 'Reading the game');
    lastTurn = performance.now();
    await instance.exports._start();
  } catch (error) {
    if (!(error instanceof WASIProcExit)) throw error;
    status = error.code;
  }
  return { status, out: bytesToText(collected(out)), err: bytesToText(collected(err)) };
}

// The shim's fd_read, but where a lazy file's range is not read yet, a promise: the run waits
// (Asyncify unwinds it) until the browser has read it, then reads it from the file's ranges.
function waitingRead(wasi, pause) {
  const read = wasi.wasiImport.fd_read;
  return (fd, iovs, count, nread) => {
    const open = wasi.fds[fd];
    if (!(open instanceof LazyOpenFile)) return read(fd, iovs, count, nread);
    const view = new DataView(wasi.inst.exports.memory.buffer);
    let length = 0;
    for (let i = 0; i < count; ++i) length += view.getUint32(iovs + 8 * i + 4, true);
    const ready = open.file.cached(open.position, length);
    if (ready && performance.now() - lastTurn < SLICE_MS) return read(fd, iovs, count, nread);
    return (async () => {
      await pause(() => 'Reading the game', !ready);
      // The run has unwound by now: its saved stack ends where the area's first word points.
      const used = new DataView(wasi.inst.exports.memory.buffer).getUint32(UNWIND_DATA, true);
      unwound.deepest = Math.max(unwound.deepest, used - UNWIND_DATA - 8);
      if (used > UNWIND_END) throw new Error('a read saved more stack than asyncify-wasm keeps');
      await open.file.fill(open.position, length);
      lastTurn = performance.now();
      return read(fd, iovs, count, nread);
    })();
  };
}

// Reads ahead what a run over the folder at `path` will ask: READERS runs at once, each over a
// part of the folder's files, fill the files' ranges; the run that answers then finds them read.
export async function readAhead(files, path, pause) {
  const parts = Array.from({ length: READERS }, () => new Set());
  files.forEach(({ path }, i) => parts[i % READERS].add(path));
  await Promise.all(
    parts
      .filter((part) => part.size > 0)
      .map((part) =>
        runGameTool(
          ['--map-table'],
          folderTree(files, (p) => part.has(p)),
          path,
          new Uint8Array(),
          pause,
        ),
      ),
  );
}

// The rows about the game as a whole, which the page shows above the table (but progs-in-pack, whose
// copy a save writes); it passes over rows it does not know.
const WARNINGS = ['progs-in-pack', 'stops-quakespasm', 'misread-by-quakespasm'];

// What --map-table says of the game: its folders, the levels (name, title, which engines start it,
// mod or base, its places), how many maps are left out, the damaged files, the warnings about the
// game as a whole, the copies of progs.dat a run writes (or why none can be), and for each name
// given, its verdict, note and nearest levels.
export function readMapTable(out) {
  const game = { folders: [], levels: [], noLevels: 0, unfound: 0, damage: [], warnings: [], names: [] };
  Object.assign(game, { copies: [], copyError: null });
  for (const line of out.split('\n').filter((line) => line !== '')) {
    const [word, ...fields] = line.split('\t');
    if (word === 'folders') game.folders = fields;
    else if (word === 'level') {
      const [name, title, engines, folder, ...places] = fields;
      game.levels.push({ name: hexToText(name), title: hexToText(title), engines, folder, places });
    } else if (word === 'left-out') [game.noLevels, game.unfound] = fields.map(Number);
    else if (word === 'damage') game.damage.push({ where: fields[0], why: fields[1] });
    else if (word === 'copy') {
      const [file, where, offset, bytes, engines] = fields;
      game.copies.push({ file, where, offset: Number(offset), bytes: Number(bytes), engines });
    } else if (word === 'copy-error') game.copyError = fields[0];
    else if (word === 'name') {
      const [digit, name, verdict, note, ...nearest] = fields;
      game.names[Number(digit)] = { name: hexToText(name), verdict, note, nearest: nearest.map(hexToText) };
    } else if (WARNINGS.includes(word)) game.warnings.push({ word, where: fields[0], why: fields[1] ?? '' });
  }
  return game;
}
