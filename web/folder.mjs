// folder.mjs: reads a game folder: its progs.dat files and the cmaps.cfg beside each, and the maps
// the game can load (maps/NAME.bsp, loose or in a pack archive) with their titles. Of an archive it
// reads the header and the directory, of a map its header and entities lump: never a whole file.

const PACK_HEADER = 12;
const PACK_ENTRY = 64;
const PACK_NAME = 56;
// Far more than any game's archive holds (the first engines allowed 2,048), and a 4 MiB read.
const MAX_PACK_ENTRIES = 65536;
const BSP_HEADER = 4 + 15 * 8;
const MAX_ENTITIES = 1 << 20;
// How long the reader may keep the page busy before it lets it draw and take input.
const SLICE_MS = 25;
// How long reading may take before the page shows how far it has got, and how often it then does:
// each time the page is laid out anew.
const QUIET_MS = 500;
const PROGRESS_MS = 250;

const latin1 = (bytes) => String.fromCharCode(...bytes);
const lower = (text) => text.toLowerCase();
const fileName = (path) => path.slice(path.lastIndexOf('/') + 1);
const folderOf = (path) => path.slice(0, path.lastIndexOf('/') + 1);
// Byte order, for names and paths alike (a name is bytes, one character each).
const inOrder = (a, b) => (a < b ? -1 : a > b ? 1 : 0);

// A 32-bit little-endian number, signed as the game reads it.
const int32 = (bytes, at) => new DataView(bytes.buffer, bytes.byteOffset).getInt32(at, true);

// Throws the reason a file is damaged; whoever reads the file names it with that reason.
class Damage extends Error {}
function check(ok, why) {
  if (!ok) throw new Damage(why);
}

// Bytes at..at + length of a file or of a part of one, every one of them: each caller has checked
// them against the file's size, which only a file that shrank since can belie.
async function read(blob, at, length) {
  const bytes = new Uint8Array(await blob.slice(at, at + length).arrayBuffer());
  check(bytes.length === length, 'it is shorter than when it was listed');
  return bytes;
}

// NAME of maps/NAME.bsp: the path below its first folder named maps, in any case, without .bsp.
function mapName(path) {
  const parts = path.split('/');
  const maps = parts.findIndex((part, i) => i < parts.length - 1 && lower(part) === 'maps');
  const name = parts.slice(maps + 1).join('/');
  return maps >= 0 && lower(name).endsWith('.bsp') && name.length > 4 ? name.slice(0, -4) : null;
}

// A title as the game draws it: 0xA0 to 0xFE are coloured copies of the bytes 0x80 lower, other
// bytes it cannot draw are blanks, and so is a map editor's line break, the characters \n.
function titleText(bytes) {
  let text = '';
  for (let i = 0; i < bytes.length; ++i) {
    if (bytes[i] === 0x5c && bytes[i + 1] === 0x6e) {
      text += ' ';
      ++i;
      continue;
    }
    const byte = bytes[i] >= 0xa0 && bytes[i] <= 0xfe ? bytes[i] - 0x80 : bytes[i];
    text += byte < 0x20 || byte > 0x7e ? ' ' : String.fromCharCode(byte);
  }
  return text;
}

// The message of the first entity in an entities text: { "key" "value" ... }. The text ends at its
// first zero byte, as the game reads it.
function firstMessage(text) {
  const end = text.indexOf(0) < 0 ? text.length : text.indexOf(0);
  let at = 0;
  const next = () => {
    while (at < end && text[at] <= 0x20) ++at;
    check(at < end, 'its entities text ends before its first entity does (no closing brace)');
    if (text[at] === 0x7b || text[at] === 0x7d) return text[at++];
    if (text[at] === 0x22) {
      const close = text.indexOf(0x22, at + 1);
      check(close >= 0 && close < end, 'its entities text has a quote that is never closed');
      const word = text.subarray(at + 1, close);
      at = close + 1;
      return word;
    }
    const start = at;
    while (at < end && text[at] > 0x20 && text[at] !== 0x22 && text[at] !== 0x7b && text[at] !== 0x7d) ++at;
    return text.subarray(start, at);
  };
  check(next() === 0x7b, 'its entities text does not start with an entity');
  let message = null;
  for (let key = next(); key !== 0x7d; key = next()) {
    const value = next();
    check(typeof key !== 'number' && typeof value !== 'number', 'its first entity has a key without a value');
    if (message === null && latin1(key) === 'message') message = value;
  }
  return message === null ? null : titleText(message);
}

// A map's title, or null where it has none or is no map of this game's kinds (29, BSP2, 2PSB).
async function mapTitle(map) {
  check(map.size >= BSP_HEADER, `it is too short for a map (${map.size} bytes)`);
  const head = await read(map, 0, BSP_HEADER);
  const kind = latin1(head.subarray(0, 4));
  if (int32(head, 0) !== 29 && kind !== 'BSP2' && kind !== '2PSB') return null;
  const [offset, length] = [int32(head, 4), int32(head, 8)];
  check(offset >= 0 && length >= 0 && offset + length <= map.size, 'its entities lump runs past its end');
  check(length <= MAX_ENTITIES, `its entities text is larger than 1 MiB (${length} bytes)`);
  return firstMessage(await read(map, offset, length));
}

// The maps in a pack archive, each as [its path in the archive, its bytes as a part of the file].
// A damaged entry ends the directory there: the engine's own reading stops at it too.
async function packMaps(pack, damage) {
  check(pack.size >= PACK_HEADER, `it is too short for a pack archive (${pack.size} bytes)`);
  const head = await read(pack, 0, PACK_HEADER);
  check(latin1(head.subarray(0, 4)) === 'PACK', 'it does not start with "PACK"');
  const [offset, length] = [int32(head, 4), int32(head, 8)];
  check(offset >= 0 && length >= 0, `its directory's offset or length is negative (${offset}, ${length})`);
  check(length % PACK_ENTRY === 0, `its directory's length, ${length} bytes, is not a multiple of 64`);
  check(length / PACK_ENTRY <= MAX_PACK_ENTRIES, `its directory claims ${length / PACK_ENTRY} entries`);
  check(offset + length <= pack.size, 'its directory runs past its end');
  const directory = await read(pack, offset, length);
  const maps = [];
  for (let at = 0; at < length; at += PACK_ENTRY) {
    const name = directory.subarray(at, at + PACK_NAME);
    const [start, size] = [int32(directory, at + PACK_NAME), int32(directory, at + PACK_NAME + 4)];
    const left = `it and the ${(length - at) / PACK_ENTRY - 1} entries after it are left out`;
    if (name.indexOf(0) < 0) {
      damage(`entry ${at / PACK_ENTRY + 1} has a name with no end: ${left}`);
      break;
    }
    const path = latin1(name.subarray(0, name.indexOf(0)));
    if (start < 0 || size < 0 || start + size > pack.size) {
      damage(`${path}: its data lies past the archive's end: ${left}`);
      break;
    }
    if (mapName(path) !== null) maps.push([path, pack.slice(start, start + size)]);
  }
  return maps;
}

// Every file below a folder, as { path, file(), handle, folder }: path starts with the picked
// folder's own name, as an input's webkitRelativePath does; handle and folder (the handle of the
// folder holding the file) only where the folder came with a handle to save through.
export function filesOfInput(list) {
  return [...list].map((file) => ({ path: file.webkitRelativePath || file.name, file: async () => file }));
}

export async function filesOfHandle(root, pause) {
  const files = [];
  const folders = [[root, root.name]];
  while (folders.length > 0) {
    const [folder, path] = folders.pop();
    for await (const entry of folder.values()) {
      await pause(() => `Listing the folder: ${files.length} files so far`);
      if (entry.kind === 'directory') folders.push([entry, `${path}/${entry.name}`]);
      else files.push({ path: `${path}/${entry.name}`, file: () => entry.getFile(), handle: entry, folder });
    }
  }
  return files;
}

// A dropped folder where the browser gives no handle: a reader hands out some entries per call,
// and none once it has given them all.
export async function filesOfEntry(root, pause) {
  const files = [];
  const folders = [root];
  const call = (fn) => new Promise((resolve, reject) => fn(resolve, reject));
  while (folders.length > 0) {
    const reader = folders.pop().createReader();
    for (let batch; (batch = await call((ok, fail) => reader.readEntries(ok, fail))).length > 0;) {
      for (const entry of batch) {
        await pause(() => `Listing the folder: ${files.length} files so far`);
        if (entry.isDirectory) folders.push(entry);
        else
          files.push({ path: entry.fullPath.slice(1), file: () => call((ok, fail) => entry.file(ok, fail)) });
      }
    }
  }
  return files;
}

// A turn for the page's other tasks (drawing, input), without the 4 ms that a timer set from a
// timer's own callback waits: over thousands of files those waits alone came to a tenth of the time.
function yieldToPage() {
  const channel = new MessageChannel();
  return new Promise((resolve) => {
    channel.port1.onmessage = resolve;
    channel.port2.postMessage(null);
  });
}

// Lets the page draw and take input every SLICE_MS, reports how far reading has got (`what()`)
// every PROGRESS_MS once it has taken QUIET_MS, and stops it (throwing the signal's reason, an
// AbortError) once the page has cancelled it. A loop that `reads` a file each turn needs no such
// turns: the page has its turn while each read is under way, and giving it more only made every
// read wait for the next frame, a third more time in all.
export function pacer(signal, progress) {
  let [last, shown] = [performance.now(), performance.now() + QUIET_MS - PROGRESS_MS];
  return async (what, reads = false) => {
    signal.throwIfAborted();
    if (performance.now() - shown >= PROGRESS_MS) {
      shown = performance.now();
      progress(what());
    }
    if (reads || performance.now() - last < SLICE_MS) return;
    await yieldToPage();
    last = performance.now();
    signal.throwIfAborted();
  };
}

// What the page needs of a game folder's files: the progs.dat files that `hasSlots` accepts, each
// with the cmaps.cfg beside it, how many it passed over, every map by name with its title and
// places (in byte order of the names), how many archives held maps, and every damaged file with why.
export async function readFolder(files, hasSlots, pause) {
  // Paths as the user sees them: inside the picked folder.
  const inside = (path) => path.slice(path.indexOf('/') + 1);
  // Only these files matter: sorting just them keeps a folder of many others quick.
  const sorted = [];
  for (const [i, entry] of files.entries()) {
    await pause(() => `Looking through the folder: file ${i + 1} of ${files.length}`);
    const name = lower(fileName(entry.path));
    if (['progs.dat', 'cmaps.cfg'].includes(name) || name.endsWith('.pak') || mapName(entry.path) !== null) {
      sorted.push(entry);
    }
  }
  sorted.sort((a, b) => inOrder(a.path, b.path));
  const cmaps = new Map(
    sorted.filter((f) => lower(fileName(f.path)) === 'cmaps.cfg').map((f) => [folderOf(f.path), f]),
  );
  const found = { progs: [], passedOver: 0, maps: new Map(), archives: 0, damaged: [] };
  const addMap = (name, place, title) => {
    const map = found.maps.get(name) ?? found.maps.set(name, { name, title: null, places: [] }).get(name);
    map.places.push(place);
    map.title ??= title;
  };
  // A map is offered whatever its damage; only its title is lost.
  const titled = async (name, place, blob) => {
    try {
      addMap(name, place, await mapTitle(blob));
    } catch (error) {
      if (!(error instanceof Damage)) throw error;
      addMap(name, place, null);
      found.damaged.push({ place, why: error.message });
    }
  };
  for (const [i, entry] of sorted.entries()) {
    await pause(
      () => `Reading the folder: file ${i + 1} of ${sorted.length}, ${found.maps.size} maps so far`,
      true,
    );
    const [name, place] = [lower(fileName(entry.path)), inside(entry.path)];
    try {
      if (name === 'progs.dat') {
        if (await hasSlots(await entry.file()))
          found.progs.push({ ...entry, place, cmaps: cmaps.get(folderOf(entry.path)) });
        else ++found.passedOver;
      } else if (name.endsWith('.pak')) {
        const maps = await packMaps(await entry.file(), (why) => found.damaged.push({ place, why }));
        for (const [path, blob] of maps) await titled(mapName(path), `${place}: ${path}`, blob);
        found.archives += maps.length > 0 ? 1 : 0;
      } else if (mapName(entry.path) !== null) {
        await titled(mapName(entry.path), place, await entry.file());
      }
    } catch (error) {
      if (error instanceof Damage) found.damaged.push({ place, why: error.message });
      // The browser's refusal to read a file (gone, changed, not allowed), but not a cancel.
      else if (error instanceof DOMException && error.name !== 'AbortError') {
        found.damaged.push({ place, why: `it could not be read (${error.message})` });
      } else throw error;
    }
  }
  found.maps = [...found.maps.values()].sort((a, b) => inOrder(a.name, b.name));
  return found;
}
