// The page's run of the core over a game folder, under Node: what it answers is what the native
// tool answers in the same folder, and the module leaves asyncify-wasm's unwind area free and big
// enough for the deepest read.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, openAsBlob, readFileSync, readdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';
import { gzipSync } from 'node:zlib';
import { LazyFile, folderTree } from '../../web/game_files.mjs';
import { readAhead, runGameTool, unwound } from '../../web/game_run.mjs';
import { loadTool } from '../../web/tool.mjs';

const { VELMORA_WASM, VELMORA_NATIVE, VELMORA_MAKE_GAME_FOLDER } = process.env;
const wasm = readFileSync(VELMORA_WASM);

// The offsets of the module's data segments (active ones, at a constant): LEB128 numbers.
function dataOffsets(bytes) {
  let at = 8;
  const leb = () => {
    let [value, shift] = [0, 0];
    for (let byte = 0x80; byte & 0x80; shift += 7) value += ((byte = bytes[at++]) & 0x7f) * 2 ** shift;
    return value;
  };
  while (at < bytes.length) {
    const [id, size] = [bytes[at++], leb()];
    if (id !== 11) {
      at += size;
      continue;
    }
    return Array.from({ length: leb() }, () => {
      assert.deepEqual([leb(), bytes[at++]], [0, 0x41]); // active, memory 0, i32.const
      const offset = leb(); // small and positive here, so unsigned reading is right
      at += 1; // end
      const size = leb(); // read before `at` is added to
      at += size;
      return offset;
    });
  }
  return [];
}

test("the module keeps its data above asyncify-wasm's unwind area", () => {
  const offsets = dataOffsets(wasm);
  assert.ok(offsets.length > 0 && Math.min(...offsets) >= 1024, `data at ${offsets}`);
});

test('a run over lazily read files answers as the native tool does', async () => {
  const root = mkdtempSync(join(tmpdir(), 'velmora-game-run-'));
  spawnSync(VELMORA_MAKE_GAME_FOLDER, [join(root, 'game')]);
  const files = [];
  const walk = async (path) => {
    for (const entry of readdirSync(join(root, path), { withFileTypes: true })) {
      const inside = `${path}/${entry.name}`;
      if (entry.isDirectory()) await walk(inside);
      else files.push({ path: inside, lazy: new LazyFile(await openAsBlob(join(root, inside))) });
    }
  };
  await walk('game');
  await loadTool(gzipSync(wasm));
  const names = Buffer.from(
    'mixedcase\nQS_ONLY\nstrat\ne1m2\nb_bh10\n\nxyz\ncaf\xe9\ndm_loose\nextra1\n',
    'latin1',
  );
  const pause = async () => {};
  await readAhead(files, ['game', 'mod'], pause);
  const run = await runGameTool(['--map-table'], folderTree(files), ['game', 'mod'], names, pause);
  const native = spawnSync(VELMORA_NATIVE, ['--map-table'], { cwd: join(root, 'game/mod'), input: names });
  assert.equal(run.out, native.stdout.toString('latin1'));
  // The deepest read's saved stack, with room to spare (asyncify-wasm keeps 1,000 bytes).
  assert.ok(unwound.deepest > 0 && unwound.deepest < 800, `${unwound.deepest} bytes`);
  rmSync(root, { recursive: true });
});
