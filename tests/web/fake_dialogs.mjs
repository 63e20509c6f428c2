// fake_picker.mjs: a stand-in for the browser's open dialog, whose real one cannot be answered in
// a headless browser. Runs in the page before its own script.
// Where the browser has such a dialog, it hands back a handle on an in-memory file, fakeDisk.file,
// that keeps what it is not told to write and records where each write ends.
export function fakePicker() {
  if (!window.showOpenFilePicker) return;
  const disk = (window.fakeDisk = { file: null, picks: 0, writes: [], closeFails: false });
  const put = (file, at, data) =>
    new File(
      [file.slice(0, at), new Uint8Array(Math.max(0, at - file.size)), data, file.slice(at + data.length)],
      'progs.dat',
    );
  const createWritable = async ({ keepExistingData }) => {
    let copy = keepExistingData ? disk.file : new File([], 'progs.dat');
    return {
      write: async ({ position, data }) => (
        disk.writes.push(position + data.length),
        (copy = put(copy, position, data))
      ),
      close: async () => {
        if (disk.closeFails) throw new DOMException('The disk is full', 'QuotaExceededError');
        disk.file = copy;
      },
      abort: async () => {},
    };
  };
  disk.handle = {
    kind: 'file',
    getFile: async () => disk.file,
    queryPermission: async () => 'prompt',
    requestPermission: async () => 'granted',
    createWritable,
  };
  window.showOpenFilePicker = async () => (++disk.picks, [disk.handle]);
}
