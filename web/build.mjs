// build.mjs: bundles the page into one self-contained file: node web/build.mjs VELMORA_WASM OUTPUT
// The module, the script and the style all go inline, so that the file works opened straight
// from disk. Its Content-Security-Policy lets nothing but that script and style run, and allows
// no connection at all.
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import { resolve } from 'node:path';
import { constants, gzipSync } from 'node:zlib';
import * as esbuild from 'esbuild';

const [wasmPath, output] = process.argv.slice(2);
if (!wasmPath || !output) {
  console.error('usage: node web/build.mjs VELMORA_WASM OUTPUT');
  process.exit(2);
}
const here = (name) => new URL(name, import.meta.url);

const bundle = await esbuild.build({
  entryPoints: [here('page.mjs').pathname],
  bundle: true,
  minify: true,
  format: 'iife',
  target: 'es2020',
  write: false,
  legalComments: 'none',
  plugins: [
    {
      name: 'velmora-wasm',
      setup(build) {
        build.onResolve({ filter: /^velmora\.wasm$/ }, () => ({
          path: resolve(wasmPath),
          namespace: 'wasm',
        }));
        // Gzipped, the module takes 40% of its size (the page unpacks it with DecompressionStream):
        // the page stays under 150 KB. The gzip header carries no time, so the page is the same
        // from build to build.
        build.onLoad({ filter: /.*/, namespace: 'wasm' }, (args) => ({
          contents: gzipSync(readFileSync(args.path), { level: constants.Z_BEST_COMPRESSION }),
          loader: 'binary',
        }));
      },
    },
  ],
});
const script = bundle.outputFiles[0].text.trimEnd();
const style = readFileSync(here('page.css'), 'utf8').trimEnd();
// The page would end its script early at such a tag.
if (/<\/script/i.test(script)) {
  console.error('build.mjs: the bundled script holds a closing script tag');
  process.exit(1);
}

const hash = (text) => `'sha256-${createHash('sha256').update(text).digest('base64')}'`;
const policy = [
  "default-src 'none'",
  `script-src ${hash(script)} 'wasm-unsafe-eval'`,
  `style-src ${hash(style)}`,
  "base-uri 'none'",
  "form-action 'none'",
].join('; ');
const page = readFileSync(here('page.html'), 'utf8')
  .replace('@CSP@', () => policy)
  .replace('<style></style>', () => `<style>${style}</style>`)
  .replace('<script></script>', () => `<script>${script}</script>`);
writeFileSync(output, page);
console.log(`${output}: ${Buffer.byteLength(page)} bytes`);
