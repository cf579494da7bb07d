// The site's module under node, with piped input and no keyboard, against the native program:
// seeded random dialogues and the fuzzing seeds, standard output and error compared byte for byte.
// Every read waits once before it is answered, as on the page, so the program's stack is unwound
// and wound back at each one.
// Usage: node piped-runs.js <site directory> <native program> [runs]
'use strict';
const assert = require('node:assert');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const [site, native, runs = '3000'] = process.argv.slice(2);

// mulberry32: a small seeded generator, so every run checks the same dialogues.
function generator(seed) {
  return () => {
    seed = (seed + 0x6D2B79F5) | 0;
    let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// Starts, accuracies and limits of every kind: any float's bits, plain decimals, the edges of the
// finite range, zero and negative accuracies, huge and malformed limits.
function randomDialogue(random) {
  const pick = (choices) => choices[Math.floor(random() * choices.length)];
  const anyFloat = () => {
    const bits = new DataView(new ArrayBuffer(4));
    bits.setUint32(0, Math.floor(random() * 4294967296));
    return bits.getFloat32(0).toPrecision(1 + Math.floor(random() * 9));
  };
  const x0 = pick([anyFloat, () => (random() * 20 - 10).toFixed(Math.floor(random() * 6)),
                   () => String(Math.floor(random() * 2001) - 1000),
                   () => pick(['-710', '1.3267', '1e39', '-1e39', '5e19', 'abc', '0x10', '.5', '-0'])])();
  const accuracy = pick([() => `1e-${Math.floor(random() * 12)}`, () => (random() * 2).toPrecision(3),
                         () => pick(['0', '-1', '1e30', '0.5', '1e-45', 'x'])])();
  const limit = pick([() => String(Math.floor(random() * 200)), () => String(Math.floor(random() * 100000)),
                      () => pick(['0', '-5', '4294967295', '4294967296', '1e5', '', '7x'])])();
  const space = () => pick([' ', '\n', '\t', '  \n']);
  return x0 + space() + accuracy + space() + limit + pick(['', '\n']);
}

function nativeRun(input) {
  // detached: a session of its own, with no terminal, so the key wait ends at once.
  const run = spawnSync(native, [],
                        { input, detached: true, env: { ...process.env, LC_ALL: 'C.UTF-8' } });
  assert.strictEqual(run.status, 0, `native program on ${JSON.stringify(input)}`);
  return { out: run.stdout, err: run.stderr };
}

async function moduleRun(runProgram, module, input) {
  const given = Buffer.from(input);
  let at = 0;
  let waited = false;
  const later = () => {
    waited = !waited;
    return waited ? new Promise((resolve) => setImmediate(resolve)) : null;
  };
  const out = [];
  const err = [];
  const status = await runProgram(module, {
    read(capacity) {
      const wait = later();
      if (wait !== null) return wait;
      if (at === given.length) return null;
      const piece = given.subarray(at, at + capacity);
      at += piece.length;
      return piece;
    },
    write(fd, bytes) {
      (fd === 1 ? out : err).push(Buffer.from(bytes));
    },
    readKey() {
      return later();
    },
  });
  assert.strictEqual(status, 0, `module on ${JSON.stringify(input)}`);
  return { out: Buffer.concat(out), err: Buffer.concat(err) };
}

async function main() {
  const { runProgram } = await import('../src/runtime.js');
  const module = await WebAssembly.compile(fs.readFileSync(path.join(site, 'newton.wasm')));
  const seeds = path.join(__dirname, '../../tests/fuzz/corpus/dialogue');
  const inputs = fs.readdirSync(seeds).sort()
    .map((name) => fs.readFileSync(path.join(seeds, name), 'latin1'));
  const random = generator(20261209);
  for (let i = 0; i < Number(runs); ++i) inputs.push(randomDialogue(random));
  for (const input of inputs) {
    const expected = nativeRun(input);
    const got = await moduleRun(runProgram, module, input);
    const label = JSON.stringify(input);
    assert.strictEqual(got.out.toString('latin1'), expected.out.toString('latin1'), `standard output, ${label}`);
    assert.strictEqual(got.err.toString('latin1'), expected.err.toString('latin1'), `standard error, ${label}`);
  }
  console.log(`${inputs.length} dialogues: the module wrote the native program's bytes`);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
