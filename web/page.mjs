// page.mjs: draws the page and turns what the user picks and types into runs of the tool.
import wasm from 'velmora.wasm';
import { SAVED, canSave, forgetFile, saveInto, useDropped } from './save.mjs';
import { loadTool, runTool, textToBytes } from './tool.mjs';

// More than the tool ever reads or writes of a file (its window is 16 KiB).
// Only this much of a picked file is read into memory; the rest of a
// progs.dat goes to the download as a slice of the picked file, unread.
const HEAD = 65536;
// The fields' list is --make-list's: line 1 its comment, line d + 2 the name of LOCALMAPd.
const FIRST_NAME_LINE = 2;

const $ = (id) => document.getElementById(id);
const state = { progs: null, head: null, cmaps: null, edited: false };
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
function markError(error) {
  const at = / at line (\d+)$/.exec(error);
  const digit = at && fromFields() ? Number(at[1]) - FIRST_NAME_LINE : -1;
  rows.forEach((row, d) => {
    if (d === digit) {
      row.field.setAttribute('aria-invalid', 'true');
    } else {
      row.field.removeAttribute('aria-invalid');
    }
    row.error.textContent = d === digit ? error.slice('Error: '.length, at.index) : '';
  });
  $('alert-where').textContent =
    at && !fromFields()
      ? `Line ${at[1]} is a line of the cmaps.cfg you picked. Mend it there and pick it again, ` +
        'or change a name here to use the names in the fields instead.'
      : '';
}

function show(run) {
  $('alert').textContent = errorLine(run);
  markError(errorLine(run));
  for (const button of document.querySelectorAll('.actions button')) {
    button.disabled = run.status !== 0;
  }
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

function loadSlots() {
  const { run, slots } = slotTable(state.head);
  drawSlots(slots);
  if (run.status !== 0) {
    show(run);
    return;
  }
  if (state.cmaps !== null) {
    // The names as a run would read them: run it, then read the slots back.
    const ran = runTool([], folder(state.cmaps));
    if (ran.status === 0) {
      slotTable(ran.files['progs.dat']).slots.forEach((slot, digit) => {
        rows[digit].field.value = slot.name;
      });
    }
  }
  state.edited = false;
  $('note').textContent = '';
  check();
}

async function head(file) {
  return new Uint8Array(await file.slice(0, HEAD).arrayBuffer());
}

async function pick(progs, cmaps) {
  const start = performance.now();
  if (cmaps !== undefined) {
    state.cmaps = cmaps ? await head(cmaps) : null;
  }
  if (progs !== undefined) {
    state.progs = progs;
    state.head = progs ? await head(progs) : null;
  }
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
    const files = items.map((item) => item.getAsFile());
    const cmaps = files.find((file) => file.name.toLowerCase().endsWith('.cfg'));
    const progs = files.find((file) => file !== cmaps);
    if (progs) {
      useDropped(items[files.indexOf(progs)]);
    }
    pick(progs, cmaps);
  });
}

async function start() {
  await loadTool(wasm);
  drawTable();
  acceptDrops();
  $('progs').addEventListener('change', (event) => {
    forgetFile();
    pick(event.target.files[0] ?? null, undefined);
  });
  $('cmaps').addEventListener('change', (event) => pick(undefined, event.target.files[0] ?? null));
  $('download-progs').addEventListener('click', downloadProgs);
  $('download-cmaps').addEventListener('click', () => download([fieldsList()], 'cmaps.cfg'));
  if (canSave) {
    $('save-progs').addEventListener('click', saveProgs);
  } else {
    $('save-progs').remove();
  }
  $('version').textContent = runTool(['--version']).out.trim();
  document.body.dataset.ready = 'true';
}

start();
