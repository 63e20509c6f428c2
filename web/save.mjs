// save.mjs: writes the patched start of progs.dat into the file on disk itself, and the fields' names
// into the cmaps.cfg beside it, where the browser lets a page write into a file or folder the user
// picked (the File System Access API: Chromium's).

export const canSave = typeof window.showOpenFilePicker === 'function';

// The progs.dat on disk that a save writes into: a promise of its handle, or of null until one
// is picked in the browser's dialog or dropped on the page.
let target = Promise.resolve(null);

// Each failure says so in words of its own, never in those of a save that worked.
export const SAVED = 'Saved into progs.dat.';
const NOT_CHOSEN = 'Nothing was saved: no file was chosen.';
const NOT_SHOWN =
  'Nothing was saved: the file chosen is not the progs.dat shown here (its length or first ' +
  'bytes differ). Save again and choose that one, or pick the other file above to see its names.';
const REFUSED = 'Nothing was saved: the browser was not allowed to write into progs.dat';
const REFUSED_FOLDER = 'Nothing was saved: the browser was not allowed to write into the folder';
const UNREADABLE = 'Nothing was saved: progs.dat could not be read again';
const FAILED = 'Nothing was saved: writing into progs.dat failed, and the file is as it was';
const CHANGED =
  'Nothing was saved: progs.dat has changed on disk since the folder was read. Pick the folder ' +
  'again to see what it holds now.';
const SAVED_CMAPS = 'Saved cmaps.cfg.';
const SAVED_CMAPS_BAK = 'Saved cmaps.cfg; the one it replaced is kept as cmaps.cfg.bak.';

// Words for a progs.dat that is not the one shown: a file chosen in the dialog can be another
// file, one found in a folder has changed on disk since the folder was read.
let notShown = NOT_SHOWN;

// A dropped file (its getAsFileSystemHandle(), asked while the drop is being dispatched, for the
// item can be read only then) or a progs.dat found in a picked folder brings its handle; a file
// picked through the input brings none.
export function useHandle(handle, inFolder = false) {
  target = Promise.resolve(handle).then(
    (found) => (found?.kind === 'file' ? found : null),
    () => null,
  );
  notShown = inFolder ? CHANGED : NOT_SHOWN;
}

export function forgetFile() {
  target = Promise.resolve(null);
  notShown = NOT_SHOWN;
}

function sameBytes(a, b) {
  return a.length === b.length && a.every((byte, i) => byte === b[i]);
}

// How much of the run's progs.dat to write: up to its last byte that differs from the file's,
// or all of it when the run made the file longer. Every later byte stays as it is on disk.
function changedStretch(patched, head) {
  if (patched.length > head.length) {
    return patched.length;
  }
  let end = patched.length;
  while (end > 0 && patched[end - 1] === head[end - 1]) {
    --end;
  }
  return end;
}

// What to say when the page may not write through a handle (a file's or a folder's), else null.
async function refusal(handle, refused, button) {
  const mode = { mode: 'readwrite' };
  try {
    const granted =
      (await handle.queryPermission(mode)) === 'granted' ||
      (await handle.requestPermission(mode)) === 'granted';
    return granted ? null : `${refused}.`;
  } catch (error) {
    // The browser asks only within a few seconds of a click, and a long look through its dialog
    // can take longer; the handle is kept, so the next click asks at once.
    return `${refused} (${error.message}). Click "${button}" again to be asked.`;
  }
}

// Writes into a file through its handle, all of it or nothing: the browser writes into a copy of
// the file and puts it in place at close(), and drops an aborted copy.
async function write(handle, data, options) {
  const stream = await handle.createWritable(options);
  try {
    await stream.write(data);
    await stream.close();
  } catch (error) {
    await stream.abort().catch(() => {});
    throw error;
  }
}

// Writes `patched` (the run's progs.dat, from offset 0) into the progs.dat the page shows, whose
// size and first bytes (`head`) were read when it was picked. Returns the message to show and,
// after a save, the file as it now is on disk.
export async function saveInto(size, head, patched) {
  let handle = await target;
  if (handle === null) {
    try {
      [handle] = await window.showOpenFilePicker();
    } catch (error) {
      return { message: error.name === 'AbortError' ? NOT_CHOSEN : `${NOT_CHOSEN} (${error.message})` };
    }
  }
  target = Promise.resolve(handle);
  try {
    const file = await handle.getFile();
    if (
      file.size !== size ||
      !sameBytes(new Uint8Array(await file.slice(0, head.length).arrayBuffer()), head)
    ) {
      const message = notShown;
      forgetFile();
      return { message };
    }
  } catch (error) {
    return { message: `${UNREADABLE} (${error.message}).` };
  }
  const refused = await refusal(handle, REFUSED, 'Save into progs.dat');
  if (refused) {
    return { message: refused };
  }
  try {
    const data = patched.subarray(0, changedStretch(patched, head));
    await write(handle, { type: 'write', position: 0, data }, { keepExistingData: true });
  } catch (error) {
    return { message: `${FAILED} (${error.message}).` };
  }
  return { message: SAVED, file: await handle.getFile() };
}

// Writes `bytes` into the cmaps.cfg (`name`: its name as found, in whatever case) of a folder, after
// copying the one on disk at this moment, if there is one, to cmaps.cfg.bak.
export async function saveCmaps(folder, name, bytes) {
  const refused = await refusal(folder, REFUSED_FOLDER, 'Save cmaps.cfg');
  if (refused) {
    return { message: refused };
  }
  const writeFile = async (file, data) => write(await folder.getFileHandle(file, { create: true }), data);
  let kept = false;
  try {
    const old = await folder.getFileHandle(name).catch((error) => {
      if (error.name === 'NotFoundError') return null;
      throw error;
    });
    if (old !== null) {
      await writeFile(`${name}.bak`, await old.getFile());
      kept = true;
    }
    await writeFile(name, bytes);
  } catch (error) {
    return {
      message: kept
        ? `cmaps.cfg was not saved (${error.message}): it is as it was, and cmaps.cfg.bak holds a copy of it.`
        : `Nothing was saved: writing cmaps.cfg failed (${error.message}), and it is as it was.`,
    };
  }
  return { message: kept ? SAVED_CMAPS_BAK : SAVED_CMAPS, saved: true };
}
