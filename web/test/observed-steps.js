// What the site's module tells the page of its iteration, against what the native build's observer
// is told (build/tests/observed_steps), over the suite's dialogues, a sample of the sweep's starting
// values with both its accuracies and the largest limit, and the view's own examples: every x, step
// and result bit for bit and digit for digit. F and F' too, except that an x87 build's exponential
// (the C library's expl) may differ from the module's correctly rounded one in its last bit: there
// they must agree to within a few units in the last place of the extended terms they sum.
// Usage: node observed-steps.js <site directory> <observed_steps>
'use strict';
const assert = require('node:assert');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { suiteInputs, singlesEvery } = require('./inputs.js');

let piped;  // these come from the page's ES modules
let runProgram;

const [site, native] = process.argv.slice(2);

function dialogues() {
  // Every 2^22nd bit pattern and its neighbours, with both accuracies and the largest limit.
  const sweep = singlesEvery(2 ** 22).flatMap((x0) => ['0', '0.001'].map((eps) => `${x0} ${eps} 4294967295`));
  const view = ['1.32 1e-6 50', '1.33 1e-6 50', '0 0 4294967295', '1.3267 1e30 100'];
  return [...new Set([...suiteInputs(), ...view]), ...sweep];
}

// A single or double from its bits in hexadecimal.
function value(bits) {
  const view = new DataView(new ArrayBuffer(8));
  if (bits.length === 8) {
    view.setUint32(0, parseInt(bits, 16));
    return view.getFloat32(0);
  }
  view.setBigUint64(0, BigInt(`0x${bits}`));
  return view.getFloat64(0);
}

// The same report, or an update whose F and F' differ only as far as the exponential may.
function agree(got, expected) {
  if (got === expected) return true;
  // update x next f df step | the same written
  const [a, b] = [got, expected].map((line) => line.split(' '));
  if (a[0] !== 'update' || b[0] !== 'update' || a.length !== b.length) return false;
  const x = value(a[1]);
  const terms = 2 * Math.exp(-x) + 0.2 * x * x + 1.5 + 0.4 * Math.abs(x);
  const near = (i) => Math.abs(value(a[i]) - value(b[i])) <= terms * 2 ** -60;
  return [1, 2, 5, 7, 8, 11].every((i) => a[i] === b[i]) && near(3) && near(4);
}

function hex(value, bytes) {
  const view = new DataView(new ArrayBuffer(8));
  if (bytes === 4) view.setFloat32(0, value);
  else view.setFloat64(0, value);
  return [...new Uint8Array(view.buffer, 0, bytes)].map((b) => b.toString(16).padStart(2, '0')).join('');
}

async function moduleRun(module, input) {
  const lines = [];
  await runProgram(module, {
    read: piped(Buffer.from(input, 'latin1')),
    write() {},
    readKey() {
      return null;
    },
    iteration: {
      begin(x0, eps, limit, text) {
        lines.push(`begin ${hex(x0, 4)} ${hex(eps, 4)} ${limit >>> 0} | ${text}`);
      },
      update(x, next, f, df, delta, text) {
        lines.push(`update ${hex(x, 4)} ${hex(next, 4)} ${hex(f, 8)} ${hex(df, 8)} ${hex(delta, 8)} | ${text}`);
      },
      end(outcome, x, count, text) {
        lines.push(`end ${outcome} ${hex(x, 4)} ${count >>> 0} | ${text}`);
      },
    },
  });
  return lines;
}

async function main() {
  ({ piped } = await import('../src/view/piped.js'));
  ({ runProgram } = await import('../src/runtime.js'));
  const module = await WebAssembly.compile(fs.readFileSync(path.join(site, 'newton.wasm')));
  const inputs = dialogues();
  const run = spawnSync(native, [], { input: Buffer.from(inputs.map((i) => `${i}\0`).join(''), 'latin1'),
                                      maxBuffer: 1 << 30 });
  assert.strictEqual(run.status, 0, 'observed_steps');
  const expected = run.stdout.toString('latin1').split('\n');
  let line = 0;
  let updates = 0;
  for (const input of inputs) {
    for (const got of await moduleRun(module, input)) {
      const wanted = expected[line++];
      if (!agree(got, wanted)) assert.strictEqual(got, wanted, `input ${JSON.stringify(input)}`);
      if (got.startsWith('update')) ++updates;
    }
  }
  assert.strictEqual(expected.slice(line).join(''), '', 'runs the module did not make');
  console.log(`${inputs.length} dialogues, ${updates} updates: the module told the native build's numbers`);

  // The strip under the graph (newton_basin) from the same starts, accuracies and limits: the
  // native dialogue's outcome, and its root and count where it writes them, bit for bit.
  const { createBasinRunner } = await import('../src/view/basin.js');
  const reported = ['converged', 'not_found', 'non_finite'];  // the native end's root, limit, non-finite
  const basin = createBasinRunner(async () => module);
  const groups = new Map();  // "eps limit" -> [[x0, end line]]
  let begin = null;
  for (const text of expected) {
    if (text.startsWith('begin ')) begin = text.split(' ');
    if (!text.startsWith('end ')) continue;
    const key = `${begin[2]} ${begin[3]}`;
    groups.set(key, [...groups.get(key) ?? [], [value(begin[1]), text.split(' ')]]);
  }
  for (const [key, runs] of groups) {
    const samples = [];
    const [eps, limit] = key.split(' ');
    await basin(runs.map(([x0]) => x0), value(eps), Number(limit), (from, got) => samples.push(...got), () => false);
    runs.forEach(([x0, end], i) => {
      const { outcome, root, count } = samples[i];
      // The root and count where the dialogue writes them; none where it writes «Решение не найдено».
      const found = outcome === 'converged' ? [hex(root, 4), String(count)] : [root, count];
      const written = reported[end[1]] === 'converged' ? end.slice(2, 4) : [null, null];
      assert.deepStrictEqual([outcome, ...found], [reported[end[1]], ...written], `X0 ${x0}, ${key}`);
    });
  }
  console.log(`${groups.size} accuracies and limits: the strip has the dialogue's outcomes, roots and counts`);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
