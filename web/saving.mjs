// saving.mjs: says what a save or download writes and where, and does it: the patched copies of
// progs.dat saved in place or downloaded, the fields' cmaps.cfg saved beside them or downloaded.
import { checkCopies, inPack, noQuakespasm, patchCopies, patchedFiles, runBy } from './copies.mjs';
import { canSave, saveCmaps, saveInto } from './save.mjs';
import { chosenList, check, fieldsList, fromFields, namesFrom, rows, show } from './slots.mjs';
import { $, element, state } from './state.mjs';

// More than the tool ever reads or writes of a file (its window is 16 KiB). Only this much of a
// picked progs.dat is read into memory; the rest goes to the download as a slice of the picked
// file, unread.
export const HEAD = 65536;

// One line above the table: every copy of progs.dat a save writes, the names the fields show, and
// where a save or download of each file goes.
export function drawSummary() {
  // The inputs say "No file chosen" for a file of the folder: the folder's file in use shows by them.
  $('progs-name').textContent = state.progsPlace ? `In use: ${state.progsPlace}` : '';
  $('cmaps-name').textContent = state.cmapsPlace && !fromFields() ? `In use: ${state.cmapsPlace}` : '';
  drawButtons();
  if (state.head === null) {
    $('summary').textContent = '';
    return;
  }
  const folder = state.fromFolder
    ? `${state.folder.name}/${state.folder.progs.inFolder}/`.replace('//', '/')
    : '';
  const copies = state.copies;
  const progs = folder
    ? copies.map((copy) => `${folder}${copy.where}${copies.length > 1 ? ` (${runBy(copy)})` : ''}`)
    : [`the file you picked, ${state.progs.name}`];
  const names = fromFields()
    ? state.edited
      ? 'the names typed in the fields'
      : 'the names it holds now (no cmaps.cfg)'
    : `the names in ${state.cmapsPlace ? `${state.folder.name}/${state.cmapsPlace}` : 'the cmaps.cfg you picked'}`;
  const files = [...new Set(copies.map((copy) => copy.file))];
  const packs = copies
    .filter(inPack)
    .map((copy) => `${copy.file} at byte ${copy.offset.toLocaleString('en-US')}`);
  const inPacks = packs.length
    ? ` Inside ${packs.join(' and ')}, a save writes only the bytes of progs.dat: the pack's other bytes stay as they are.`
    : '';
  const target = !canSave
    ? folder && (files.length > 1 || files[0] !== 'progs.dat')
      ? `Download each file and put it in place of the old one: ${and(files.map((file) => `${file} in ${folder.slice(0, -1)}`))}.`
      : `"Download progs.dat" gives the patched file: put it in place of ${progs[0]}.`
    : folder && copies.every((copy) => copy.entry.handle)
      ? `"${$('save-progs').textContent}" writes into ${files.length > 1 ? 'these files' : 'that file'} itself.${inPacks}`
      : folder && copies.length > 1
        ? 'To save into them, pick the folder with "Game folder" (the browser asks to allow it), or use the downloads.'
        : `"Save into progs.dat" writes into that file: the one you dropped, or the one you choose in ` +
          "the browser's dialog.";
  const quakespasm = noQuakespasm(copies)
    ? ' Quakespasm, ironwail and vkQuake run none of these: they read only pak0.pak, pak1.pak, ... up to ' +
      "the first one missing, and run the base game's progs.dat instead."
    : '';
  $('summary').textContent = `In use: ${and(progs)}, with ${names}. ${target}${quakespasm}`;
}

const and = (words) =>
  words.length < 3 ? words.join(' and ') : `${words.slice(0, -1).join(', ')} and ${words.at(-1)}`;

// A download button for each file a save writes, and the save button naming them all.
function drawButtons() {
  const files = [...new Set(state.copies?.map((copy) => copy.file) ?? [])];
  if (files.length === 0) files.push('progs.dat');
  const first = $('download-progs');
  if ($('save-progs')) $('save-progs').textContent = `Save into ${and(files)}`;
  if (first.dataset.files === files.join('/')) return;
  first.dataset.files = files.join('/');
  first.textContent = `Download ${files[0]}`;
  for (const more of document.querySelectorAll('.download-more')) more.remove();
  first.after(
    ...files.slice(1).map((name, i) => {
      const button = Object.assign(element('button', `Download ${name}`, 'download-more'), {
        type: 'button',
        id: `download-file-${i + 1}`,
        disabled: first.disabled,
      });
      button.addEventListener('click', () => downloadFile(i + 1));
      return button;
    }),
  );
}

// Typed as bytes to keep: some browsers save an untyped Blob as "progs.dat.txt" or "Unknown".
export function download(parts, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob(parts, { type: 'application/octet-stream' }));
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

// Each file as a run of the tool leaves it, or null after showing its error.
function patched() {
  const list = chosenList();
  const checked = checkCopies(list);
  const { run, patched } = checked.status === 0 ? patchCopies(list) : { run: checked };
  if (run) {
    show(run);
    return null;
  }
  return patchedFiles(patched);
}

export function downloadFile(index) {
  const files = patched();
  if (files !== null) download(files[index].parts, files[index].name);
}

// Saves into every copy of progs.dat; `reload(files)` shows them as they are on disk after a save.
// Chromium copies a whole file before it writes into it: in a big pack that takes seconds, so the
// page says that a save is under way.
export async function saveProgs(reload) {
  const start = performance.now();
  const files = patched();
  if (files === null) return;
  $('saved').textContent = '';
  $('saved').className = '';
  const button = $('save-progs');
  button.disabled = true;
  const slow = setTimeout(
    () => ($('saved').textContent = `Saving into ${and(files.map((f) => f.name))}...`),
    300,
  );
  const writes = files.map(({ name, copies }) => ({
    name,
    handle: copies[0].copy.entry?.handle,
    size: copies[0].copy.blob.size,
    parts: copies.map(({ copy, bytes }) => ({ position: copy.offset, head: copy.head, patched: bytes })),
  }));
  const saved = await saveInto(writes).catch((error) => ({ message: `Nothing was saved: ${error.message}` }));
  clearTimeout(slow);
  button.disabled = false;
  // The files as they are now, read anew: the browser refuses the picked ones once they changed.
  if (saved.saved)
    await reload(files.map(({ copies }, i) => [copies.map((one) => one.copy), saved.files[i]]));
  $('saved').textContent = saved.message;
  $('saved').className = saved.saved ? '' : 'failed';
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
  $('save-cmaps').hidden = same || !folder.progs.handle;
}

function cmapsDiffers(folder) {
  const where = folder.progs.inFolder ? `${folder.progs.inFolder}/` : `"${folder.name}"`;
  const keep = folder.progs.handle
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
  const saved = await saveCmaps(entry.handle, name, bytes).catch((error) => ({
    message: `Nothing was saved: ${error.message}`,
  }));
  if (saved.saved) {
    // The folder's cmaps.cfg now gives the fields' names; downloads use it byte for byte again.
    const file = new File([bytes], name);
    entry.cmaps = { path: `${entry.dir}/${name}`, file: async () => file };
    folder.cmapsBytes = state.cmaps = bytes;
    folder.cmapsNames = undefined;
    state.cmapsPlace = entry.cmaps.path.slice(folder.name.length + 1);
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
