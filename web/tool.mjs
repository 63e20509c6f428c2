// tool.mjs: runs velmora.wasm as one process in an in-memory folder, a fresh instance each run.
import { ConsoleStdout, File, OpenFile, PreopenDirectory, WASI } from '@bjorn3/browser_wasi_shim';

let compiled = null;

// Compiles the module once (the page carries it gzipped); every run instantiates it anew, so that
// no run sees another's state, as no process sees another's.
export async function loadTool(gzipped) {
  const unzipped = new Blob([gzipped]).stream().pipeThrough(new DecompressionStream('gzip'));
  compiled = await WebAssembly.compile(await new Response(unzipped).arrayBuffer());
}

export const compiledTool = () => compiled;

// A name is bytes, and the page shows one character for each: U+0000 to U+00FF.
export function bytesToText(bytes) {
  let text = '';
  for (let i = 0; i < bytes.length; i += 4096) {
    text += String.fromCharCode(...bytes.subarray(i, i + 4096));
  }
  return text;
}

// The bytes of text, or null when a character stands for no byte.
export function textToBytes(text) {
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) {
    const code = text.charCodeAt(i);
    if (code > 0xff) {
      return null;
    }
    bytes[i] = code;
  }
  return bytes;
}

// A name or title in --slots' and --map-table's hex, as text of one character per byte.
export function hexToText(hex) {
  let text = '';
  for (let i = 0; i < hex.length; i += 2) {
    text += String.fromCharCode(parseInt(hex.slice(i, i + 2), 16));
  }
  return text;
}

export function collected(chunks) {
  const all = new Uint8Array(chunks.reduce((size, chunk) => size + chunk.length, 0));
  let at = 0;
  for (const chunk of chunks) {
    all.set(chunk, at);
    at += chunk.length;
  }
  return all;
}

// Runs `velmora ...args` in a folder that holds `files` (name to bytes),
// with `input` as standard input, as the tool would run in the game folder.
// Returns the exit status, standard output and error as text (one character
// per byte), and the folder's files as the run left them.
export function runTool(args, files = {}, input = new Uint8Array()) {
  const out = [];
  const err = [];
  const folder = new Map(Object.entries(files).map(([name, bytes]) => [name, new File(bytes)]));
  const fds = [
    new OpenFile(new File(input, { readonly: true })),
    new ConsoleStdout((bytes) => out.push(bytes.slice())),
    new ConsoleStdout((bytes) => err.push(bytes.slice())),
    new PreopenDirectory('.', folder),
  ];
  const wasi = new WASI(['velmora', ...args], [], fds, { debug: false });
  const instance = new WebAssembly.Instance(compiled, { wasi_snapshot_preview1: wasi.wasiImport });
  let status;
  try {
    status = wasi.start(instance);
  } catch (trap) {
    // A trap is the module's crash, never a detected error's status 1.
    err.push(textToBytes(`Error: velmora.wasm stopped: ${trap.message}\n`) ?? new Uint8Array());
    status = 134;
  }
  const after = {};
  for (const [name, file] of folder) {
    after[name] = file.data;
  }
  return { status, out: bytesToText(collected(out)), err: bytesToText(collected(err)), files: after };
}
