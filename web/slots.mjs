// slots.mjs: the table of the ten slots: what each holds, the field with the name it will get, and
// what the tool says of those names: its error at the field it concerns, the slots a save changes
// or empties, and the core's note on each name where the game does not start it everywhere.
import { checkCopies } from './copies.mjs';
import { $, count, element, state } from './state.mjs';
import { hexToText, runTool, textToBytes } from './tool.mjs';

// The fields' list is --make-list's: line 1 its comment, line d + 2 the name of LOCALMAPd.
const FIRST_NAME_LINE = 2;

export const rows = [];
// What the core said of each field's name (--map-table's name rows), by digit, or null.
let verdicts = [];

// The lines of `velmora --slots`: digit, offset, name in hex, and why no map list can hold it.
export function slotTable(progs) {
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

export const folderFiles = (mapList) => ({ 'progs.dat': state.head, 'cmaps.cfg': mapList });

export const fieldNames = () => rows.map((row) => row.field.value);

// The fields' names as a map list, in the form --make-list writes.
export function fieldsList() {
  return textToBytes(runTool(['--make-list'], {}, textToBytes(fieldNames().join('\n') + '\n')).out);
}

// The picked cmaps.cfg byte for byte until a field is edited, so that a run here leaves what the
// command-line tool leaves; after that, the fields'.
export const fromFields = () => state.cmaps === null || state.edited;
export const chosenList = () => (fromFields() ? fieldsList() : state.cmaps);

// The slots a run with this map list leaves in the progs.dat shown (a run, then the slots read
// back), or null where the run stops with an error.
function slotsFrom(mapList) {
  const ran = runTool([], folderFiles(mapList));
  return ran.status === 0 ? slotTable(ran.files['progs.dat']).slots : null;
}

export const namesFrom = (mapList) => slotsFrom(mapList)?.map((slot) => slot.name) ?? null;

// An error at a line of the fields' list is that field's: the alert names the field, which is
// marked with the message beside it, where a user typing far below the alert still sees it. A
// line of a picked cmaps.cfg is no field's: the alert keeps the tool's own line.
function showError(error) {
  const at = / at line (\d+)$/.exec(error);
  const digit = at && fromFields() ? Number(at[1]) - FIRST_NAME_LINE : -1;
  const message = digit >= 0 ? error.slice('Error: '.length, at.index) : '';
  const said = message === 'String too long' ? `${message}: at most 15 characters` : message;
  $('alert').textContent = digit >= 0 ? `Error: LOCALMAP${digit}: ${said}` : error;
  rows.forEach((row, d) => {
    if (d === digit) row.field.setAttribute('aria-invalid', 'true');
    else row.field.removeAttribute('aria-invalid');
    row.error.textContent = d === digit ? said : (verdicts[d]?.note ?? '');
    row.error.className = d === digit ? 'field-error' : 'field-advice';
  });
  $('alert-where').textContent =
    at && !fromFields()
      ? `Line ${at[1]} is a line of the cmaps.cfg you picked. Mend it there and pick it again, ` +
        'or change a name here to use the names in the fields instead.'
      : '';
}

// Marks each slot whose name a save changes, and says how many it empties. A slot whose name cannot
// be shown (none ends within it, say) may hold other bytes than the empty name it shows: the reason
// --slots gives for it goes too when a save changes it.
function showChanges(ok) {
  const after = ok && state.head !== null ? slotsFrom(chosenList()) : null;
  let emptied = 0;
  rows.forEach((row, d) => {
    const changes =
      after !== null && (row.now.dataset.name !== after[d].name || row.now.dataset.why !== after[d].why);
    emptied += changes && after[d].name === '' ? 1 : 0;
    row.change.textContent = !changes ? '' : after[d].name === '' ? 'will be emptied' : 'will change';
  });
  const changed = rows.filter((row) => row.change.textContent !== '').length;
  $('changes').textContent =
    after === null
      ? ''
      : changed === 0
        ? 'A save changes no slot: every slot keeps its name.'
        : `A save changes ${count(changed, 'slot')}` +
          (emptied === 0 ? '.' : `, and ${count(emptied, 'slot is', 'slots are')} emptied.`);
}

// Shows a run's outcome: its error, where it lies, and whether the downloads and saves may go.
export function show(run) {
  const error = run.status === 0 ? '' : run.err.replace(/\n$/, '');
  showError(error);
  showChanges(run.status === 0);
  for (const button of document.querySelectorAll('.actions button')) {
    button.disabled = run.status !== 0;
  }
}

// The core's verdicts on the fields' names (null: none, as without a game folder), shown at the
// fields that hold no error.
export function showVerdicts(names) {
  verdicts = names ?? [];
  rows.forEach((row, d) => {
    if (row.field.getAttribute('aria-invalid') !== 'true') row.error.textContent = verdicts[d]?.note ?? '';
  });
}

// Every change is checked by the tool itself, on exactly the map list that a download would use,
// with every copy of progs.dat a save writes.
export function check() {
  $('saved').textContent = '';
  show(checkCopies(chosenList()));
}

// The slots as --slots read them; a reason that several slots share is said once, above the table.
export function drawSlots(slots) {
  const shared = new Map();
  for (const [digit, slot] of slots.entries()) {
    if (slot.why) shared.set(slot.why, [...(shared.get(slot.why) ?? []), `LOCALMAP${digit}`]);
  }
  const once = [...shared].filter(([, names]) => names.length > 1);
  $('slots-why').textContent = once.map(([why, names]) => `${names.join(', ')}: ${why}.`).join(' ');
  rows.forEach((row, digit) => {
    const slot = slots[digit];
    row.offset.textContent = slot ? slot.offset : '';
    const alone = slot?.why && shared.get(slot.why).length === 1;
    row.now.textContent = !slot ? '' : slot.why ? (alone ? slot.why : 'no name (see above)') : slot.name;
    row.now.dataset.name = slot ? slot.name : '';
    row.now.dataset.why = slot ? slot.why : '';
    row.now.className = slot && slot.why ? 'why' : '';
    row.field.value = slot && !slot.why ? slot.name : '';
    row.field.disabled = !slot;
  });
}

export function drawTable(edit) {
  for (let digit = 0; digit < 10; ++digit) {
    const tr = document.createElement('tr');
    const label = element('label', `LOCALMAP${digit}`);
    label.htmlFor = `name${digit}`;
    const field = document.createElement('input');
    Object.assign(field, { id: label.htmlFor, type: 'text', spellcheck: false, autocomplete: 'off' });
    field.disabled = true;
    field.addEventListener('input', () => edit(rows[digit]));
    const error = element('span', '', 'field-error');
    error.id = `${field.id}-error`;
    const change = element('span', '', 'change');
    field.setAttribute('aria-describedby', `${error.id} ${field.id}-change`);
    change.id = `${field.id}-change`;
    const cells = [[label, change], [], [], [field, error]].map((content) => {
      const td = document.createElement('td');
      td.append(...content);
      tr.append(td);
      return td;
    });
    rows.push({ offset: cells[1], now: cells[2], field, error, change });
    $('slots').append(tr);
  }
}
