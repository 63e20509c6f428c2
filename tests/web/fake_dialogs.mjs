// fake_dialogs.mjs: stand-ins for the browser's open and folder dialogs, which no driver can answer
// in a headless browser. Each hands back the real handle the test put in window.dialogs (a file or
// a folder in the origin's private file system, written through the browser's own streams) and
// counts how often a dialog was opened. Runs in the page before its own script.
export function fakeDialogs() {
  if (!window.showOpenFilePicker) return;
  const dialogs = (window.dialogs = { file: null, folder: null, opened: 0 });
  window.showOpenFilePicker = async () => {
    dialogs.opened += 1;
    return [dialogs.file];
  };
  window.showDirectoryPicker = async () => {
    dialogs.opened += 1;
    return dialogs.folder;
  };
}
