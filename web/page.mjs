// page.mjs: starts the page and turns what the user picks, drops and types into runs of the tool.
import wasm from 'velmora.wasm';
import { filesOfEntry, filesOfHandle, filesOfInput, pacer } from './folder.mjs';
import { pickedCopy, readCopy } from './copies.mjs';
import { gameWithoutProgs, head, listGame, readGame } from './game_folder.mjs';
import { readMapTable, runGameTool } from './game_run.mjs';
import { drawFolder, drawGame, forgetGame } from './game_view.mjs';
import { canSave, forgetFile, useHandle } from './save.mjs';
import {
  HEAD,
  download,
  downloadFile,
  drawCmapsDiffers,
  drawSummary,
  saveCmapsFile,
  saveProgs,
} from './saving.mjs';
import {
  check,
  drawSlots,
  drawTable,
  fieldNames,
  fieldsList,
  namesFrom,
  rows,
  show,
  showVerdicts,
  slotTable,
} from './slots.mjs';
import { $, state } from './state.mjs';
import { loadTool, runTool, textToBytes } from './tool.mjs';

// Where the browser has its own folder dialog, the game folder is picked there: a folder picked so
// comes with handles to save through. Elsewhere the input lists the folder's files.
const canPickFolder = typeof window.showDirectoryPicker === 'function';
// The folder being read, to cancel when the user picks something else meanwhile.
let reading = null;
// The latest run that judges the fields' names: an older one's answer comes too late to show.
let judging = 0;

// What follows any change of the names or files: the tool's check, the notes, and the core's
// verdicts on the names, which come a little later.
function refresh() {
  check();
  drawCmapsDiffers();
  drawSummary();
  return judge();
}

async function judge() {
  const game = state.game;
  const ticket = ++judging;
  const start = performance.now();
  // A game with no maps at all says so once, above the table, not under every field.
  if (game === null || game.levels.length + game.noLevels + game.unfound === 0) {
    showVerdicts(null);
    performance.measure('velmora: advice shown', { start });
    return;
  }
  const input = textToBytes(fieldNames().join('\n') + '\n');
  const pause = pacer(new AbortController().signal, () => {});
  const run = await runGameTool(['--map-table'], game.tree, game.path, input, pause);
  if (ticket !== judging || state.game !== game) return;
  showVerdicts(readMapTable(run.out).names);
  performance.measure('velmora: advice shown', { start });
}

// A new progs.dat or cmaps.cfg replaces the names typed in the fields: say so (`what`: null where
// nothing takes their place, as when the progs.dat input is cleared).
function dropsEdits(what) {
  const typed = what !== null && state.edited && state.head !== null;
  $('note').textContent = typed ? `The names you typed were replaced by those of ${what}.` : '';
}

function loadSlots() {
  const { run, slots } = slotTable(state.head);
  drawSlots(slots);
  if (run.status !== 0) {
    show(run);
    drawSummary();
    return undefined;
  }
  const names = state.cmaps === null ? null : namesFrom(state.cmaps);
  names?.forEach((name, digit) => {
    rows[digit].field.value = name;
  });
  state.edited = false;
  return refresh();
}

function showPicked(start) {
  if (state.head === null) {
    // No progs.dat (the input was cleared): nothing to show or write.
    drawSlots([]);
    show({ status: 1, err: '' });
    drawSummary();
    return undefined;
  }
  const judged = loadSlots();
  performance.measure('velmora: names shown', { start });
  return judged;
}

// Takes a progs.dat and a cmaps.cfg picked alone (null: none; undefined: the one taken before).
async function pick(progs, cmaps, start = performance.now()) {
  dropsEdits(progs ? progs.name : cmaps ? 'the cmaps.cfg you picked' : null);
  if (cmaps !== undefined) {
    state.cmaps = cmaps ? await head(cmaps) : null;
    state.cmapsPlace = null;
  }
  if (progs !== undefined) usePicked(progs ? await head(progs) : null, progs);
  await showPicked(start);
}

// A pick or drop of single files lets a folder that is still being read go; one read to the end
// stays, for its maps and advice.
function pickFiles(progs, cmaps) {
  if (reading !== null) forgetFolder();
  if (progs) state.fromFolder = false;
  pick(progs, cmaps);
}

function edit(row) {
  const start = performance.now();
  if (textToBytes(row.field.value) === null) {
    row.field.value = [...row.field.value].filter((c) => c.charCodeAt(0) <= 0xff).join('');
    $('note').textContent =
      'A name is bytes: only characters U+0000 to U+00FF stand for one, so that one was left out.';
  } else {
    $('note').textContent = '';
  }
  state.edited = true;
  refresh();
  performance.measure('velmora: check shown', { start });
}

// A progs.dat picked or dropped alone: its one copy, read as far as the page reads a picked file.
function usePicked(bytes, progs) {
  const copies = progs ? [pickedCopy(progs, bytes, HEAD)] : [];
  Object.assign(state, { progs, head: bytes, copies, copyError: null, progsPlace: null });
}

// After a save: the files as they are now on disk, read anew (the browser refuses a picked one once
// it changed), the game's reads of them too. A picked cmaps.cfg the fields have left no longer tells
// the names it holds.
async function afterSave(files) {
  if (state.edited) {
    Object.assign(state, { cmaps: null, cmapsPlace: null });
    $('cmaps').value = '';
  }
  for (const [copies, file] of files) {
    for (const copy of copies) {
      copy.blob = file;
      if (copy.entry) Object.assign(copy.entry.lazy, { blob: file, ranges: [], known: undefined });
      copy.head = state.fromFolder ? await readCopy(copy) : await head(file);
    }
  }
  if (state.fromFolder) Object.assign(state, { progs: state.copies[0].blob, head: state.copies[0].head });
  else usePicked(state.copies[0].head, state.copies[0].blob);
  await showPicked(performance.now());
}

// --- The game folder ---------------------------------------------------------------------------

function forgetFolder() {
  reading?.abort();
  reading = null;
  state.folder = null;
  state.fromFolder = false;
  forgetGame();
  for (const id of ['choice', 'save-cmaps']) $(id).hidden = true;
  for (const id of ['reading', 'cmaps-differs', 'folder-name']) $(id).textContent = '';
}

// Shows the copies of progs.dat of a folder, with the cmaps.cfg beside them; the game is that of
// their folder. A save writes through each copy's own handle, where the folder came with them.
async function useFolderProgs(chosen, start, pause) {
  const folder = state.folder;
  const path = chosen.dir.split('/');
  if (state.game?.path.join('/') !== chosen.dir) {
    await readGame(folder, path, pause ?? pacer(new AbortController().signal, () => {}));
    drawGame();
  }
  dropsEdits(chosen.place);
  folder.progs = chosen;
  state.fromFolder = true;
  forgetFile();
  $('progs').value = '';
  $('cmaps').value = '';
  const cmaps = chosen.cmaps;
  Object.assign(state, {
    copies: chosen.copies,
    copyError: chosen.copyError,
    progs: chosen.copies[0].blob,
    head: chosen.copies[0].head,
    cmaps: cmaps ? await head(cmaps.lazy?.blob ?? (await cmaps.file())) : null,
    progsPlace: chosen.place,
    cmapsPlace: cmaps?.path.slice(folder.name.length + 1) ?? null,
  });
  folder.cmapsBytes = state.cmaps;
  folder.cmapsNames = undefined;
  await showPicked(start);
}

// Reads a game folder whose files `list(pause)` gives, then offers its maps and shows its
// progs.dat (the one with a cmaps.cfg beside it, else the first), unless another pick comes first.
async function openFolder(name, list) {
  const start = performance.now();
  forgetFolder();
  const controller = (reading = new AbortController());
  const pause = pacer(controller.signal, (text) => ($('reading').textContent = text));
  try {
    const folder = await listGame(name, await list(pause), pause);
    const chosen = folder.candidates.find((progs) => progs.cmaps) ?? folder.candidates[0];
    if (chosen) await readGame(folder, chosen.dir.split('/'), pause);
    else await gameWithoutProgs(folder, pause);
    reading = null;
    state.folder = folder;
    drawFolder(folder);
    drawGame();
    if (chosen) {
      $('progs-choice').value = folder.candidates.indexOf(chosen);
      await useFolderProgs(chosen, start);
    } else if (state.head !== null) {
      await refresh();
    }
    performance.measure('velmora: maps offered', { start });
  } catch (error) {
    if (!controller.signal.aborted) {
      reading = null;
      $('reading').textContent = `The folder could not be read: ${error.message}`;
    }
  }
}

function acceptDrops() {
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    const items = [...event.dataTransfer.items].filter((item) => item.kind === 'file');
    // An item can be read only while its drop is being dispatched.
    const handles = items.map((item) => item.getAsFileSystemHandle?.());
    const entries = items.map((item) => item.webkitGetAsEntry?.());
    const files = items.map((item) => item.getAsFile());
    const at = entries.findIndex((entry) => entry?.isDirectory);
    if (at >= 0) {
      dropFolder(handles[at], entries[at]);
      return;
    }
    const cmaps = files.find((file) => file.name.toLowerCase().endsWith('.cfg'));
    const progs = files.find((file) => file !== cmaps);
    if (progs) useHandle(handles[files.indexOf(progs)] ?? null);
    pickFiles(progs, cmaps);
  });
}

async function dropFolder(handle, entry) {
  const folder = await handle?.catch(() => null);
  if (folder?.kind === 'directory') openFolder(folder.name, (pause) => filesOfHandle(folder, pause));
  else openFolder(entry.name, (pause) => filesOfEntry(entry, pause));
}

async function pickFolder(event) {
  event.preventDefault();
  const folder = await window.showDirectoryPicker({ id: 'game' }).catch(() => null);
  if (folder !== null) openFolder(folder.name, (pause) => filesOfHandle(folder, pause));
}

async function start() {
  await loadTool(wasm);
  drawTable(edit);
  acceptDrops();
  $('folder').addEventListener('change', (event) => {
    const files = event.target.files;
    openFolder(files[0]?.webkitRelativePath.split('/')[0] ?? '', async () => filesOfInput(files));
  });
  if (canPickFolder) $('folder').addEventListener('click', pickFolder);
  $('progs-choice').addEventListener('change', (event) =>
    useFolderProgs(state.folder.candidates[event.target.value], performance.now()),
  );
  $('progs').addEventListener('change', (event) => {
    forgetFile();
    pickFiles(event.target.files[0] ?? null, undefined);
  });
  $('cmaps').addEventListener('change', (event) => pickFiles(undefined, event.target.files[0] ?? null));
  $('download-progs').addEventListener('click', () => downloadFile(0));
  $('download-cmaps').addEventListener('click', () => download([fieldsList()], 'cmaps.cfg'));
  if (canSave) {
    $('save-progs').addEventListener('click', () => saveProgs(afterSave));
    $('save-cmaps').addEventListener('click', saveCmapsFile);
  } else {
    $('save-progs').remove();
  }
  $('version').textContent = runTool(['--version']).out.trim();
  document.body.dataset.ready = 'true';
}

start();
