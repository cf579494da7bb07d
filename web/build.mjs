#!/usr/bin/env node
// Writes the static site: build.mjs <newton.wasm as linked, with its function names> <site directory>.
// The module gets Asyncify (binaryen's wasm-opt) on the functions that can be on the stack while the
// program waits for standard input or the key, is optimised for size and stripped; a copy of it in a
// script lets a file:// copy of the site run, where a browser fetches nothing. esbuild joins the
// page's modules into one classic script. Every file gets .gz and .br copies beside it, for a server
// that sends those.
import { spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import zlib from 'node:zlib';
import * as esbuild from 'esbuild';
import subsetFont from 'subset-font';

const [module, site] = process.argv.slice(2);
if (!module || !site) {
  console.error('usage: build.mjs <newton.wasm> <site directory>');
  process.exit(2);
}
const web = path.dirname(fileURLToPath(import.meta.url));
const inWeb = (...names) => path.join(web, ...names);
const inSite = (name) => path.join(site, name);
fs.mkdirSync(site, { recursive: true });

// The waits: the program's own functions, the input stream's buffer and the C library's reading
// under it. Asyncify instruments these alone (a function on a wait's stack that is missing here
// makes the page's runs fail, which make web-test shows); wasm-opt's warning for a name that is not
// in the module fails the build.
const waits = [
  '_start*', '__original_main', '*dialogue::*', '*console::*', '*__stdinbuf*', '*basic_istream*',
  '__uflow', 'getc', '__stdio_read', 'read', '__toread', 'ungetc', '__wasi_fd_read',
];
const optimised = spawnSync('wasm-opt', [
  module, '--asyncify',
  '--pass-arg=asyncify-imports@wasi_snapshot_preview1.fd_read,newton.read_key',
  `--pass-arg=asyncify-onlylist@${waits.join(',')}`, '-Oz', '--strip-debug', '--strip-producers',
  '-o', inSite('newton.wasm'),
], { encoding: 'utf8' });
if (optimised.error) throw optimised.error;
const warnings = (optimised.stdout + optimised.stderr).trim();
if (optimised.status !== 0 || warnings) {
  console.error(warnings || `wasm-opt exited with ${optimised.status ?? optimised.signal}`);
  process.exit(1);
}
const wasm = fs.readFileSync(inSite('newton.wasm'));
fs.writeFileSync(inSite('newton-wasm.js'),
  `globalThis.newtonModuleBase64 = "${wasm.toString('base64')}";\n`);

// The page's script, and the view's, which the page loads once the program has greeted.
for (const [entry, script] of [[['main.js'], 'newton-page.js'], [['view', 'entry.js'], 'newton-view.js']]) {
  await esbuild.build({
    entryPoints: [inWeb('src', ...entry)], bundle: true, format: 'iife', minify: true,
    target: 'es2020', legalComments: 'none', logLevel: 'warning', outfile: inSite(script),
  });
}
for (const name of ['manifest.webmanifest', 'icon.svg', 'icon-192.png', 'icon-512.png']) {
  fs.copyFileSync(inWeb(name), inSite(name));
}
// The console's font, cut to the characters its two faces cover in page.css (their unicode-range):
// what the console shows, and less than half the bytes of the whole Latin face.
const fonts = inWeb('node_modules', '@fontsource', 'pt-mono');
const range = (from, to) => String.fromCodePoint(...Array.from({ length: to - from + 1 }, (_, i) => from + i));
const faces = {
  latin: range(0x20, 0x7e) + range(0xa0, 0xbf) + range(0x2010, 0x2026) + '\u00d7\u2212',
  cyrillic: range(0x400, 0x45f) + '\u2116',
};
for (const [subset, characters] of Object.entries(faces)) {
  const face = fs.readFileSync(path.join(fonts, 'files', `pt-mono-${subset}-400-normal.woff2`));
  fs.writeFileSync(inSite(`pt-mono-${subset}.woff2`), await subsetFont(face, characters, { targetFormat: 'woff2' }));
}
fs.copyFileSync(path.join(fonts, 'LICENSE'), inSite('pt-mono.LICENSE.txt'));
fs.copyFileSync(inWeb('..', 'LICENSE'), inSite('LICENSE.txt'));

// The styles are in the page, so that its text shows with no second request: every style sheet
// the page links, each with its media if it names one. A link this cannot take in stops the build,
// rather than leave the page pointing at a file the site does not have.
const page = fs.readFileSync(inWeb('index.html'), 'utf8');
const attribute = (tag, name) => tag.match(new RegExp(`\\s${name}="([^"]*)"`))?.[1];
let sheets = 0;
const styled = page.replace(/<link\s[^>]*>/g, (tag) => {
  if (attribute(tag, 'rel') !== 'stylesheet') return tag;
  const href = attribute(tag, 'href');
  if (!href || !/^[\w-]+\.css$/.test(href)) throw new Error(`index.html: cannot inline ${tag}`);
  const media = attribute(tag, 'media');
  sheets += 1;
  return `<style${media ? ` media="${media}"` : ''}>\n${fs.readFileSync(inWeb(href), 'utf8')}</style>`;
});
if (sheets === 0) throw new Error('index.html: no style sheet');
fs.writeFileSync(inSite('index.html'), styled);

// The service worker keeps what the page loads over the network (not the file:// copy's script);
// its version changes with any of those files.
const precached = ['./', 'newton-page.js', 'newton-view.js', 'newton.wasm', 'pt-mono-latin.woff2',
  'pt-mono-cyrillic.woff2', 'manifest.webmanifest', 'icon.svg'];
const digest = createHash('sha256');
for (const name of ['index.html', ...precached.slice(1)]) digest.update(fs.readFileSync(inSite(name)));
const version = digest.digest('hex').slice(0, 16);
const worker = fs.readFileSync(inWeb('service-worker.js'), 'utf8')
  .replace('@VERSION@', version)
  .replace('@FILES@', `[${precached.map((name) => `"${name}"`).join(', ')}]`);
fs.writeFileSync(inSite('service-worker.js'), worker);

for (const name of fs.readdirSync(site)) {
  if (/\.(gz|br|png|woff2)$/.test(name)) continue;
  const body = fs.readFileSync(inSite(name));
  fs.writeFileSync(inSite(`${name}.gz`), zlib.gzipSync(body, { level: 9 }));
  fs.writeFileSync(inSite(`${name}.br`), zlib.brotliCompressSync(body, {
    params: {
      [zlib.constants.BROTLI_PARAM_QUALITY]: 11,
      [zlib.constants.BROTLI_PARAM_SIZE_HINT]: body.length,
    },
  }));
}
