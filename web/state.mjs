// state.mjs: what the page holds between events (the files in use, the game folder and what the
// core said of it), shared by the modules that draw it, and the small helpers they all use.

// progs: the progs.dat in use (a File) and head, its first bytes; progsPlace: its path inside the
// picked folder, or null for a file picked alone; cmaps: the picked cmaps.cfg's bytes, or null;
// cmapsPlace: that file's path inside the folder, or null; edited: a field has been typed in since.
// folder: the game folder read last, or null; fromFolder: the progs.dat shown is that folder's.
// game: what --map-table said of the folder's game (levels, damage, warnings), or null.
// copies: the copies of progs.dat a save writes (copies.mjs), the first the one the table shows, and
// copyError: why no run can write them (the core's words), or null.
export const state = {
  progs: null,
  head: null,
  progsPlace: null,
  cmaps: null,
  cmapsPlace: null,
  edited: false,
  folder: null,
  fromFolder: false,
  game: null,
  copies: [],
  copyError: null,
};

export const $ = (id) => document.getElementById(id);

export function element(tag, text, className) {
  const made = document.createElement(tag);
  made.textContent = text;
  if (className) made.className = className;
  return made;
}

// A number in words of the page, its noun agreeing with it: "1 map", "1,400 maps".
export const count = (n, one, many = `${one}s`) => `${n.toLocaleString('en-US')} ${n === 1 ? one : many}`;
