// game_folder.mjs: the game's files, built byte by byte for the browser tests and the benchmark:
// maps (BSP headers and entity text), pack archives, and a folder of them on disk.
import { mkdirSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';

const int32 = (value) => {
  const bytes = Buffer.alloc(4);
  bytes.writeInt32LE(value);
  return bytes;
};

// A map whose entities lump is `entities` (latin1), right after a header of the given version (a
// number, or four bytes such as "BSP2"); `lump` overrides its [offset, length].
export function map(entities, { version = 29, lump } = {}) {
  const text = Buffer.from(entities, 'latin1');
  const kind = typeof version === 'number' ? int32(version) : Buffer.from(version, 'latin1');
  const [offset, length] = lump ?? [124, text.length];
  return Buffer.concat([kind, int32(offset), int32(length), Buffer.alloc(112), text]);
}

// A map whose first entity, worldspawn, has this message (latin1), or none.
export function titled(message) {
  const pair = message == null ? '' : `"message" "${message}"\n`;
  return map(`{\n"classname" "worldspawn"\n${pair}}\n{\n"classname" "light"\n}\n\0`);
}

// A level: a map with a title and a place to put a player.
export function level(message) {
  return map(
    `{\n"classname" "worldspawn"\n"message" "${message}"\n}\n{\n"classname" "info_player_start"\n}\n\0`,
  );
}

// A pack archive: "PACK", the directory's offset and length, the files' data, then the directory.
// `entries` are [name, data]; `head` overrides the header's [magic, offset, length], and an entry's
// third element its [name bytes (56, latin1), offset, length].
export function pack(entries, head) {
  let at = 12;
  const placed = entries.map(([name, data, raw]) => {
    const entry = raw ?? [name.padEnd(56, '\0'), at, data.length];
    at += data.length;
    return entry;
  });
  const [magic, offset, length] = head ?? ['PACK', at, 64 * entries.length];
  return Buffer.concat([
    Buffer.from(magic, 'latin1'),
    int32(offset),
    int32(length),
    ...entries.map(([, data]) => data),
    ...placed.map(([name, start, size]) =>
      Buffer.concat([Buffer.from(name, 'latin1'), int32(start), int32(size)]),
    ),
  ]);
}

// A pack's entries as [name, data], in the order of its directory.
export function entriesOf(bytes) {
  const [offset, length] = [bytes.readInt32LE(4), bytes.readInt32LE(8)];
  return Array.from({ length: length / 64 }, (_, i) => {
    const at = offset + 64 * i;
    const [start, size] = [bytes.readInt32LE(at + 56), bytes.readInt32LE(at + 60)];
    return [bytes.toString('latin1', at, at + 56).replace(/\0.*$/s, ''), bytes.subarray(start, start + size)];
  });
}

// Writes a folder's files ({ path: bytes }) below root.
export function writeFolder(root, files) {
  for (const [path, bytes] of Object.entries(files)) {
    mkdirSync(dirname(join(root, path)), { recursive: true });
    writeFileSync(join(root, path), bytes);
  }
  return root;
}
