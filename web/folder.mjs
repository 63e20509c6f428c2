// folder.mjs: lists a game folder the user picked or dropped (an input's files, a folder handle,
// dropped entries), and paces the page while it does and while the core reads the game: turns for
// drawing and input, a progress line, and a cancel when the user picks something else.

// How long the page may stay busy before it lets the browser draw and take input.
const SLICE_MS = 25;
// How long listing and reading may take before the page shows how far it has got, and how often it
// then does: each time the page is laid out anew.
const QUIET_MS = 500;
const PROGRESS_MS = 250;

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
