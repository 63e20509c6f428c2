// page.mjs: draws the page and turns what the user picks and types into runs of the tool.
import wasm from 'velmora.wasm';
import { filesOfEntry, filesOfHandle, filesOfInput, pacer, readFolder } from './folder.mjs';
import { SAVED, canSave, forgetFile, saveCmaps, saveInto, useHandle } from './save.mjs';
import { loadTool, runTool, textToBytes } from './tool.mjs';

// More than the tool ever reads or writes of a file (its window is 16 KiB).
// Only this much of a picked file is read into memory; the rest of a
// progs.dat goes to the download as a slice of the picked file, unread.
const HEAD = 65536;
// The fields' list is --make-list's: line 1 its comment, line d + 2 the name of LOCALMAPd.
const FIRST_NAME_LINE = 2;
// Where the browser has its own folder dialog, the game folder is picked there: a folder picked so
// comes with handles to save through. Elsewhere the input lists the folder's files.
const canPickFolder = typeof window.showDirectoryPicker === 'function';

const $ = (id) => document.getElementById(id);
// folder: the game folder read last, or null; fromFolder: the progs.dat shown is that folder's.
const state = { progs: null, head: null, cmaps: null, edited: false, folder: null, fromFolder: false };
// The folder being read, to cancel when the user picks something else meanwhile.
let reading = null;
const rows = [];

function errorLine(run) {
  return run.status === 0 ? '' : run.err.replace(/\n$/, '');
}

function hexToText(hex) {
  let text = '';
  for (let i = 0; i < hex.length; i += 2) {
    text += String.fromCharCode(parseInt(hex.slice(i, i + 2), 16));
  }
  return text;
}

// The lines of `velmora --slots`: digit, offset, name in hex, and why no map
// list can hold the name.
function slotTable(progs) {
  const run = runTool(['--slots'], { 'progs.dat': progs });
  const slots = run.out
    .split('\n')
    .filter((line) => line !== '')
    .map((line) => {
      const [, offset, hex, why] = line.split('\t');
      return { offset, name: hexToText(hex), why };
    });
  return { run, slots };
}

function folder(mapList) {
  return { 'progs.dat': state.head, 'cmaps.cfg': mapList };
}

// The fields' names as a map list, in the form --list writes.
function fieldsList() {
  const names = rows.map((row) => row.field.value).join('\n') + '\n';
  return textToBytes(runTool(['--make-list'], {}, textToBytes(names)).out);
}

// The picked cmaps.cfg byte for byte until a field is edited, so that a run
// here leaves what the command-line tool leaves; after that, the fields'.
function fromFields() {
  return state.cmaps === null || state.edited;
}

function chosenList() {
  return fromFields() ? fieldsList() : state.cmaps;
}

// An error at a line of the fields' list is that field's: it is marked, with the message beside
// it, where a user typing far below the alert still sees it. A line of a picked cmaps.cfg is
// no field's.
// A field that holds no error gets advice instead: a name that is no map of the picked folder.
function markFields(error) {
  const at = / at line (\d+)$/.exec(error);
  const digit = at && fromFields() ? Number(at[1]) - FIRST_NAME_LINE : -1;
  rows.forEach((row, d) => {
    if (d === digit) {
      row.field.setAttribute('aria-invalid', 'true');
    } else {
      row.field.removeAttribute('aria-invalid');
    }
    const message = d === digit ? error.slice('Error: '.length, at.index) : '';
    row.error.textContent = message === 'String too long' ? `${message}: at most 15 characters` : message;
    row.error.className = message ? 'field-error' : 'field-advice';
    if (!message) row.error.textContent = advice(row.field.value);
  });
  $('alert-where').textContent =
    at && !fromFields()
      ? `Line ${at[1]} is a line of the cmaps.cfg you picked. Mend it there and pick it again, ` +
        'or change a name here to use the names in the fields instead.'
      : '';
}

function show(run) {
  $('alert').textContent = errorLine(run);
  markFields(errorLine(run));
  for (const button of document.querySelectorAll('.actions button')) {
    button.disabled = run.status !== 0;
  }
  drawCmapsDiffers();
}

// Every change is checked by the tool itself, on exactly the map list that a
// download would use.
function check() {
  $('saved').textContent = '';
  show(runTool(['--check'], folder(chosenList())));
}

function drawSlots(slots) {
  rows.forEach((row, digit) => {
    const slot = slots[digit];
    row.offset.textContent = slot ? slot.offset : '';
    row.now.textContent = slot ? slot.why || slot.name : '';
    row.now.className = slot && slot.why ? 'why' : '';
    row.field.value = slot && !slot.why ? slot.name : '';
    row.field.disabled = !slot;
  });
}

// The names a run with this map list leaves in the progs.dat shown (a run, then the slots read
// back), or null where the run stops with an error.
function namesFrom(mapList) {
  const ran = runTool([], folder(mapList));
  return ran.status === 0 ? slotTable(ran.files['progs.dat']).slots.map((slot) => slot.name) : null;
}

function loadSlots() {
  const { run, slots } = slotTable(state.head);
  drawSlots(slots);
  if (run.status !== 0) {
    show(run);
    return;
  }
  const names = state.cmaps === null ? null : namesFrom(state.cmaps);
  names?.forEach((name, digit) => {
    rows[digit].field.value = name;
  });
  state.edited = false;
  $('note').textContent = '';
  check();
}

async function head(file) {
  return new Uint8Array(await file.slice(0, HEAD).arrayBuffer());
}

// Takes a progs.dat and a cmaps.cfg (null: none; undefined: the one taken before), then shows them.
async function pick(progs, cmaps, start = performance.now()) {
  if (cmaps !== undefined) {
    state.cmaps = cmaps ? await head(cmaps) : null;
  }
  if (progs !== undefined) {
    state.progs = progs;
    state.head = progs ? await head(progs) : null;
  }
  showPicked(start);
}

function showPicked(start) {
  if (state.head === null) {
    // No progs.dat (the input was cleared): nothing to show or write.
    drawSlots([]);
    show({ status: 1, err: '' });
    return;
  }
  loadSlots();
  performance.measure('velmora: names shown', { start });
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
  check();
  performance.measure('velmora: check shown', { start });
}

// Typed as bytes to keep: some browsers save an untyped Blob as "progs.dat.txt" or "Unknown".
function download(parts, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob(parts, { type: 'application/octet-stream' }));
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

// The progs.dat's first bytes as a run of the tool leaves them, or null after showing its error.
function patched() {
  const run = runTool([], folder(chosenList()));
  if (run.status !== 0) {
    show(run);
    return null;
  }
  return run.files['progs.dat'];
}

function downloadProgs() {
  const bytes = patched();
  if (bytes !== null) {
    download(state.progs.size > HEAD ? [bytes, state.progs.slice(HEAD)] : [bytes], 'progs.dat');
  }
}

async function saveProgs() {
  const start = performance.now();
  const bytes = patched();
  if (bytes === null) {
    return;
  }
  $('saved').textContent = '';
  const saved = await saveInto(state.progs.size, state.head, bytes).catch((error) => ({
    message: `Nothing was saved: ${error.message}`,
  }));
  if (saved.file) {
    // The file as it is now, read anew: the browser refuses the picked one once it changed.
    // A picked cmaps.cfg the fields have left no longer tells the names it holds.
    if (state.edited) {
      state.cmaps = null;
      $('cmaps').value = '';
    }
    await pick(saved.file, undefined);
  }
  $('saved').textContent = saved.message;
  $('saved').className = saved.message === SAVED ? '' : 'failed';
  performance.measure('velmora: saved', { start });
}

// --- The game folder ---------------------------------------------------------------------------

// A number in words of the page: "1 map", "1,400 maps".
const count = (n, one, many = `${one}s`) => `${n.toLocaleString('en-US')} ${n === 1 ? one : many}`;

function element(tag, text) {
  const made = document.createElement(tag);
  made.textContent = text;
  return made;
}

// Advice, not an error: the game cannot load a name that is no map of the folder (engines on Linux,
// and some inside archives, match its case exactly), but the tool may well write it.
function advice(name) {
  const folder = state.folder;
  // A folder with no maps at all says so once, above the table, not under every field.
  if (folder === null || folder.names.size === 0 || name === '' || folder.names.has(name)) {
    return '';
  }
  const other = folder.byCase.get(name.toLowerCase());
  return other === undefined
    ? `No map named "${name}" in this folder.`
    : `No map named "${name}" in this folder, but "${other}" differs only in case: ` +
        'a game that matches case exactly will not find it.';
}

// The names the fields give a run, against those the cmaps.cfg beside the folder's progs.dat gives:
// a run of the tool in that folder would put the latter back.
function drawCmapsDiffers() {
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

async function useFolderProgs(entry, start) {
  const folder = state.folder;
  folder.progs = entry;
  state.fromFolder = true;
  if (entry.handle) {
    useHandle(entry.handle, true);
  } else {
    forgetFile();
  }
  $('progs').value = '';
  $('cmaps').value = '';
  const cmaps = entry.cmaps ? await entry.cmaps.file() : null;
  state.progs = await entry.file();
  state.head = await head(state.progs);
  state.cmaps = cmaps && (await head(cmaps));
  folder.cmapsBytes = state.cmaps;
  folder.cmapsNames = undefined;
  showPicked(start);
}

function drawFolder(name, found) {
  const names = found.maps.map((map) => map.name);
  state.folder = {
    name,
    found,
    progs: null,
    names: new Set(names),
    byCase: new Map([...names].reverse().map((map) => [map.toLowerCase(), map])),
  };
  $('maps').hidden = false;
  const damaged =
    found.damaged.length === 0
      ? ''
      : ` ${count(found.damaged.length, 'damaged file is', 'damaged files are')} listed below: ` +
        'what could be read of them is kept.';
  $('maps-found').textContent =
    (found.maps.length === 0
      ? `No maps found in "${name}": no NAME.bsp below a folder named maps, loose or in a .pak archive.`
      : `${count(found.maps.length, 'map')} found in "${name}"` +
        (found.archives > 0 ? `, in its folders and in ${count(found.archives, 'archive')}.` : '.')) +
    damaged;
  $('map-list').closest('details').hidden = found.maps.length === 0;
  $('damaged').replaceChildren(...found.damaged.map(({ place, why }) => element('li', `${place}: ${why}.`)));
  $('map-list').replaceChildren(
    ...found.maps.map((map) => {
      const item = element('li', '');
      const title = map.title === null ? '' : ` \u2014 ${map.title}`;
      item.append(element('code', map.name), title, element('span', map.places.join(', ')));
      return item;
    }),
  );
  $('map-names').replaceChildren(
    ...found.maps.map((map) =>
      Object.assign(document.createElement('option'), { value: map.name, label: map.title ?? '' }),
    ),
  );
  for (const row of rows) {
    row.field.setAttribute('list', 'map-names');
  }
  $('progs-choice').replaceChildren(
    ...found.progs.map((progs, i) =>
      Object.assign(document.createElement('option'), { value: i, text: progs.place }),
    ),
  );
  $('choice').hidden = found.progs.length < 2;
  const passed =
    found.passedOver === 0
      ? ''
      : ` ${count(found.passedOver, 'without them was', 'without them were')} passed over.`;
  const none = `There is no progs.dat with the ten map slots in "${name}".`;
  $('reading').textContent =
    found.progs.length === 0
      ? `${none}${passed} Pick one with the progs.dat button.`
      : passed && `${count(found.progs.length, 'progs.dat file')} with the ten map slots found;${passed}`;
}

function forgetFolder() {
  reading?.abort();
  reading = null;
  state.folder = null;
  state.fromFolder = false;
  $('maps').hidden = true;
  $('choice').hidden = true;
  $('reading').textContent = '';
  $('cmaps-differs').textContent = '';
  $('save-cmaps').hidden = true;
  for (const row of rows) {
    row.field.removeAttribute('list');
  }
}

// Reads a game folder whose files `list(pause)` gives, then offers its maps and shows its
// progs.dat (the one with a cmaps.cfg beside it, else the first), unless another pick comes first.
async function openFolder(name, list) {
  const start = performance.now();
  forgetFolder();
  const controller = (reading = new AbortController());
  const pause = pacer(controller.signal, (text) => ($('reading').textContent = text));
  try {
    const files = await list(pause);
    const found = await readFolder(
      files,
      async (file) => slotTable(await head(file)).run.status === 0,
      pause,
    );
    reading = null;
    drawFolder(name, found);
    const chosen = found.progs.find((progs) => progs.cmaps) ?? found.progs[0];
    if (chosen) {
      $('progs-choice').value = found.progs.indexOf(chosen);
      await useFolderProgs(chosen, start);
    } else if (state.head !== null) {
      check();
    }
    performance.measure('velmora: maps offered', { start });
  } catch (error) {
    if (!controller.signal.aborted) {
      reading = null;
      $('reading').textContent = `The folder could not be read: ${error.message}`;
    }
  }
}

// A pick or drop of single files lets a folder that is still being read go; one read to the end
// stays, for its maps.
function pickFiles(progs, cmaps) {
  if (reading !== null) {
    forgetFolder();
  }
  if (progs) {
    state.fromFolder = false;
  }
  pick(progs, cmaps);
}

async function saveCmapsFile() {
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
    state.edited = false;
    $('cmaps').value = '';
    check();
  }
  $('saved').textContent = saved.message;
  $('saved').className = saved.saved ? '' : 'failed';
  performance.measure('velmora: cmaps.cfg saved', { start });
}

function drawTable() {
  for (let digit = 0; digit < 10; ++digit) {
    const tr = document.createElement('tr');
    const label = document.createElement('label');
    label.htmlFor = `name${digit}`;
    label.textContent = `LOCALMAP${digit}`;
    const field = document.createElement('input');
    field.id = label.htmlFor;
    field.type = 'text';
    field.spellcheck = false;
    field.autocomplete = 'off';
    field.disabled = true;
    field.addEventListener('input', () => edit(rows[digit]));
    const error = document.createElement('span');
    error.id = `${field.id}-error`;
    error.className = 'field-error';
    field.setAttribute('aria-describedby', error.id);
    const cells = [[label], [], [], [field, error]].map((content) => {
      const td = document.createElement('td');
      td.append(...content);
      tr.append(td);
      return td;
    });
    rows.push({ offset: cells[1], now: cells[2], field, error });
    $('slots').append(tr);
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
    if (progs) {
      useHandle(handles[files.indexOf(progs)] ?? null);
    }
    pickFiles(progs, cmaps);
  });
}

async function dropFolder(handle, entry) {
  const folder = await handle?.catch(() => null);
  if (folder?.kind === 'directory') {
    openFolder(folder.name, (pause) => filesOfHandle(folder, pause));
  } else {
    openFolder(entry.name, (pause) => filesOfEntry(entry, pause));
  }
}

async function pickFolder(event) {
  event.preventDefault();
  const folder = await window.showDirectoryPicker({ id: 'game' }).catch(() => null);
  if (folder !== null) {
    openFolder(folder.name, (pause) => filesOfHandle(folder, pause));
  }
}

async function start() {
  await loadTool(wasm);
  drawTable();
  acceptDrops();
  $('folder').addEventListener('change', (event) => {
    const files = event.target.files;
    openFolder(files[0]?.webkitRelativePath.split('/')[0] ?? '', async () => filesOfInput(files));
  });
  if (canPickFolder) {
    $('folder').addEventListener('click', pickFolder);
  }
  $('progs-choice').addEventListener('change', (event) =>
    useFolderProgs(state.folder.found.progs[event.target.value], performance.now()),
  );
  $('progs').addEventListener('change', (event) => {
    forgetFile();
    pickFiles(event.target.files[0] ?? null, undefined);
  });
  $('cmaps').addEventListener('change', (event) => pickFiles(undefined, event.target.files[0] ?? null));
  $('download-progs').addEventListener('click', downloadProgs);
  $('download-cmaps').addEventListener('click', () => download([fieldsList()], 'cmaps.cfg'));
  if (canSave) {
    $('save-progs').addEventListener('click', saveProgs);
    $('save-cmaps').addEventListener('click', saveCmapsFile);
  } else {
    $('save-progs').remove();
  }
  $('version').textContent = runTool(['--version']).out.trim();
  document.body.dataset.ready = 'true';
}

start();
