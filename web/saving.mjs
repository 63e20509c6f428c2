// saving.mjs: says what a save or download writes and where, and does it: the patched progs.dat
// saved in place or downloaded, the fields' cmaps.cfg saved beside it or downloaded.
import { SAVED, canSave, saveCmaps, saveInto } from './save.mjs';
import { chosenList, check, fieldsList, folderFiles, fromFields, namesFrom, rows, show } from './slots.mjs';
import { $, state } from './state.mjs';
import { runTool } from './tool.mjs';

// More than the tool ever reads or writes of a file (its window is 16 KiB). Only this much of a
// picked file is read into memory; the rest of a progs.dat goes to the download as a slice of the
// picked file, unread.
export const HEAD = 65536;

// One line above the table: the progs.dat in use, the names the fields show, and where a save or
// download of progs.dat goes.
export function drawSummary() {
  // The inputs say "No file chosen" for a file of the folder: the folder's file in use shows by them.
  $('progs-name').textContent = state.progsPlace ? `In use: ${state.progsPlace}` : '';
  $('cmaps-name').textContent = state.cmapsPlace && !fromFields() ? `In use: ${state.cmapsPlace}` : '';
  if (state.head === null) {
    $('summary').textContent = '';
    return;
  }
  const place = state.progsPlace;
  const progs = place ? `${state.folder.name}/${place}` : `the file you picked, ${state.progs.name}`;
  const names = fromFields()
    ? state.edited
      ? 'the names typed in the fields'
      : 'the names it holds now (no cmaps.cfg)'
    : `the names in ${state.cmapsPlace ? `${state.folder.name}/${state.cmapsPlace}` : 'the cmaps.cfg you picked'}`;
  const target = !canSave
    ? `"Download progs.dat" gives the patched file: put it in place of ${progs}.`
    : place && state.folder.progs.handle
      ? `"Save into progs.dat" writes into ${progs} itself.`
      : `"Save into progs.dat" writes into that file: the one you dropped, or the one you choose in ` +
        "the browser's dialog.";
  $('summary').textContent = `In use: ${progs}, with ${names}. ${target}`;
}

// Typed as bytes to keep: some browsers save an untyped Blob as "progs.dat.txt" or "Unknown".
export function download(parts, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob(parts, { type: 'application/octet-stream' }));
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

// The progs.dat's first bytes as a run of the tool leaves them, or null after showing its error.
function patched() {
  const run = runTool([], folderFiles(chosenList()));
  if (run.status !== 0) {
    show(run);
    return null;
  }
  return run.files['progs.dat'];
}

export function downloadProgs() {
  const bytes = patched();
  if (bytes !== null) {
    download(state.progs.size > HEAD ? [bytes, state.progs.slice(HEAD)] : [bytes], 'progs.dat');
  }
}

// Saves into progs.dat; `reload(file)` shows the file as it is on disk after a save.
export async function saveProgs(reload) {
  const start = performance.now();
  const bytes = patched();
  if (bytes === null) return;
  $('saved').textContent = '';
  const saved = await saveInto(state.progs.size, state.head, bytes).catch((error) => ({
    message: `Nothing was saved: ${error.message}`,
  }));
  // The file as it is now, read anew: the browser refuses the picked one once it changed.
  if (saved.file) await reload(saved.file);
  $('saved').textContent = saved.message;
  $('saved').className = saved.message === SAVED ? '' : 'failed';
  performance.measure('velmora: saved', { start });
}

// The names the fields give a run, against those the cmaps.cfg beside the folder's progs.dat gives:
// a run of the tool in that folder would put the latter back.
export function drawCmapsDiffers() {
  const folder = state.folder;
  const shown = state.fromFolder && folder !== null && state.head !== null;
  if (shown && folder.cmapsNames === undefined) {
    folder.cmapsNames = folder.cmapsBytes && namesFrom(folder.cmapsBytes);
  }
  const same =
    !shown ||
    (folder.cmapsNames !== null &&
      ((!fromFields() && state.cmaps === folder.cmapsBytes) ||
        rows.every((row, d) => row.field.value === folder.cmapsNames[d])));
  $('cmaps-differs').textContent = same ? '' : cmapsDiffers(folder);
  $('save-cmaps').hidden = same || !folder.progs.folder;
}

function cmapsDiffers(folder) {
  const where = folder.progs.place.replace(/[^/]*$/, '') || `"${folder.name}"`;
  const keep = folder.progs.folder
    ? '"Save cmaps.cfg" writes these names there.'
    : 'To keep these names there, download cmaps.cfg and put it beside progs.dat.';
  return folder.cmapsBytes === null
    ? `There is no cmaps.cfg in ${where}, beside this progs.dat: a run of velmora there needs one. ${keep}`
    : `The cmaps.cfg in ${where} gives other names: a run of velmora there would put them back. ${keep}`;
}

export async function saveCmapsFile() {
  const start = performance.now();
  const folder = state.folder;
  const entry = folder.progs;
  const bytes = fieldsList();
  const name = entry.cmaps?.path.replace(/.*\//, '') ?? 'cmaps.cfg';
  const saved = await saveCmaps(entry.folder, name, bytes).catch((error) => ({
    message: `Nothing was saved: ${error.message}`,
  }));
  if (saved.saved) {
    // The folder's cmaps.cfg now gives the fields' names; downloads use it byte for byte again.
    const file = new File([bytes], name);
    entry.cmaps = { path: entry.path.replace(/[^/]*$/, name), file: async () => file };
    folder.cmapsBytes = state.cmaps = bytes;
    folder.cmapsNames = undefined;
    state.cmapsPlace = entry.place.replace(/[^/]*$/, name);
    state.edited = false;
    $('cmaps').value = '';
    check();
    drawCmapsDiffers();
    drawSummary();
  }
  $('saved').textContent = saved.message;
  $('saved').className = saved.saved ? '' : 'failed';
  performance.measure('velmora: cmaps.cfg saved', { start });
}
