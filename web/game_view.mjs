// game_view.mjs: draws what the core said of the game folder: the choice of its progs.dat, its levels
// with titles and places, the suggestions for the fields (the mod's levels first), the damaged
// files, and the warnings a user must see before saving.
import { $, count, element, state } from './state.mjs';
import { rows } from './slots.mjs';

// The engines each word of --map-table names, as --maps marks the levels that not all of them start.
const ONLY = {
  darkplaces: '  (DarkPlaces and FTE only)',
  quakespasm: '  (Quakespasm, ironwail and vkQuake only)',
  windows: '  (Windows only)',
  every: '',
};

// A place of the core's ("../id1/pak0.pak:maps/e1m1.bsp", "maps/x.bsp") as a path inside the
// picked folder, where the user can find it.
export function placeInFolder(where) {
  const mod = state.game.path;
  const parts = [...mod.slice(1), ...where.split('/')];
  for (let i = parts.indexOf('..'); i > 0; i = parts.indexOf('..')) parts.splice(i - 1, 2);
  return parts.join('/');
}

// A level as --maps lists it: its name, title, places and the engines that alone start it.
function levelItem(level) {
  const item = element('li', '');
  const title = level.title === '' ? '(no title)' : `"${level.title}"`;
  item.append(element('code', level.name), `  ${title}  `, element('span', level.places.join(', ')));
  item.append(ONLY[level.engines]);
  return item;
}

function folderWords(game) {
  const [mod, base] = [game.path.at(-1), game.folders.length > 1 ? 'id1' : null];
  return base ? `"${mod}" and "${base}" beside it` : `"${mod}"`;
}

// The warnings about the game as a whole, above the table: packs that stop or mislead Quakespasm. A
// progs.dat in a pack needs none: a save writes that copy too, and the line above the table says so.
function warningText({ word, where, why }) {
  const does = word === 'stops-quakespasm' ? 'stop at start on' : 'misread';
  return `Quakespasm, ironwail and vkQuake ${does} ${placeInFolder(where)}: ${why}.`;
}

// The folder's choice of progs.dat: one choice for each folder, naming every copy a save writes there.
export function drawFolder(folder) {
  $('folder-name').textContent = `In use: "${folder.name}"`;
  $('progs-choice').replaceChildren(
    ...folder.candidates.map((progs, i) =>
      Object.assign(document.createElement('option'), { value: i, text: progs.place }),
    ),
  );
  $('choice').hidden = folder.candidates.length < 2;
  const passed =
    folder.passedOver === 0
      ? ''
      : ` ${count(folder.passedOver, 'without them was', 'without them were')} passed over.`;
  $('reading').textContent =
    folder.candidates.length === 0
      ? `There is no progs.dat with the ten map slots in "${folder.name}".${passed} Pick one with the progs.dat button.`
      : passed &&
        `${count(folder.candidates.length, 'progs.dat file')} with the ten map slots found;${passed}`;
}

export function drawGame() {
  const game = state.game;
  $('maps').hidden = false;
  const leftOut = [
    game.noLevels > 0 ? count(game.noLevels, 'BSP that is no level', 'BSPs that are no levels') : '',
    game.unfound > 0 ? `${count(game.unfound, 'map')} that no engine finds` : '',
  ].filter(Boolean);
  const damaged =
    game.damage.length === 0
      ? ''
      : ` ${count(game.damage.length, 'damaged file is', 'damaged files are')} listed below: ` +
        `what could be read of ${game.damage.length === 1 ? 'it' : 'them'} is kept.`;
  $('maps-found').textContent =
    `${count(game.levels.length, 'level')} in ${folderWords(game)}` +
    (leftOut.length ? `; left out: ${leftOut.join(', ')}.` : '.') +
    damaged;
  $('base-missing').textContent =
    // The folder in use being id1 itself, the base game is that folder.
    game.folders.length > 1 || game.path.at(-1) === 'id1'
      ? ''
      : `The base game's maps are not counted: there is no id1 folder beside "${game.path.at(-1)}". ` +
        'Pick the folder above it, the one that holds both, to count them.';
  $('map-list').closest('details').hidden = game.levels.length === 0;
  $('damaged').replaceChildren(
    ...game.damage.map(({ where, why }) => element('li', `${placeInFolder(where)}: ${why}.`)),
  );
  $('map-list').replaceChildren(...game.levels.map(levelItem));
  // The mod's own levels first, then the base game's, each marked as in the list when not every engine
  // starts it.
  const levels = [...game.levels].sort((a, b) => (a.folder === 'mod' ? 0 : 1) - (b.folder === 'mod' ? 0 : 1));
  $('map-names').replaceChildren(
    ...levels.map((level) =>
      Object.assign(document.createElement('option'), {
        value: level.name,
        label: level.title + ONLY[level.engines],
      }),
    ),
  );
  for (const row of rows) row.field.setAttribute('list', 'map-names');
  const warnings = game.warnings.filter((warning) => warning.word !== 'progs-in-pack');
  $('warnings').replaceChildren(...warnings.map((warning) => element('li', warningText(warning))));
}

export function forgetGame() {
  state.game = null;
  $('maps').hidden = true;
  $('warnings').replaceChildren();
  $('base-missing').textContent = '';
  for (const row of rows) row.field.removeAttribute('list');
}
