// save.mjs: writes the patched start of progs.dat into the file on disk itself, where the browser
// lets a page write into a file the user picked (the File System Access API: Chromium's).

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
const UNREADABLE = 'Nothing was saved: progs.dat could not be read again';
const FAILED = 'Nothing was saved: writing into progs.dat failed, and the file is as it was';

// A dropped file brings its handle; a file picked through the input brings none. Call it while
// the drop event is being dispatched: the item can be read only then.
export function useDropped(item) {
  target = (item?.getAsFileSystemHandle?.() ?? Promise.resolve(null)).then(
    (handle) => (handle?.kind === 'file' ? handle : null),
    () => null,
  );
}

export function forgetFile() {
  target = Promise.resolve(null);
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

async function mayWrite(handle) {
  const mode = { mode: 'readwrite' };
  return (
    (await handle.queryPermission(mode)) === 'granted' || (await handle.requestPermission(mode)) === 'granted'
  );
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
      forgetFile();
      return { message: NOT_SHOWN };
    }
  } catch (error) {
    return { message: `${UNREADABLE} (${error.message}).` };
  }
  try {
    if (!(await mayWrite(handle))) {
      return { message: `${REFUSED}.` };
    }
  } catch (error) {
    // The browser asks only within a few seconds of a click, and a long look through its dialog
    // can take longer; the handle is kept, so the next click asks at once.
    return { message: `${REFUSED} (${error.message}). Click "Save into progs.dat" again to be asked.` };
  }
  // The browser writes into a copy of the file and puts it in place at close(), so a write that
  // fails before then leaves the file as it was.
  let stream = null;
  try {
    stream = await handle.createWritable({ keepExistingData: true });
    await stream.write({
      type: 'write',
      position: 0,
      data: patched.subarray(0, changedStretch(patched, head)),
    });
    await stream.close();
  } catch (error) {
    await stream?.abort().catch(() => {});
    return { message: `${FAILED} (${error.message}).` };
  }
  return { message: SAVED, file: await handle.getFile() };
}
