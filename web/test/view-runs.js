// The view's runs under node, from the site's module: each run's outcome, root and count are what
// the program printed, and a link to runs makes the same runs again (the same numbers read, the same
// steps), for starting values and accuracies of every kind of single.
// Usage: node view-runs.js <site directory>
'use strict';
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const { singlesEvery } = require('./inputs.js');

let piped;  // these come from the page's ES modules
let runProgram;

const [site] = process.argv.slice(2);

async function moduleRun(module, input, observer) {
  const out = [];
  await runProgram(module, {
    read: piped(Buffer.from(input, 'latin1')),
    write(fd, bytes) {
      if (fd === 1) out.push(Buffer.from(bytes));
    },
    readKey: () => null,
    iteration: observer,
  });
  return Buffer.concat(out).toString('utf8');
}

// Singles of every kind: every 2^23rd bit pattern and its neighbours (zeros, subnormals, the
// largest, infinities), as X0 and as the accuracy.
function dialogues() {
  const singles = singlesEvery(2 ** 23);
  const limits = ['0', '7', '100', '4294967295'];
  return singles.map((single, i) => `${single} ${i % 3 === 0 ? single : '0.001'} ${limits[i % limits.length]}\n`)
    .concat(['0 0.001 100', '1.32 1e-6 50', '1.33 1e-6 50', '1.3267 1e30 100', '0 0 4294967295', 'abc']);
}

const same = (a, b) => Object.is(a, b) || (typeof a === 'object' && a !== null && b !== null &&
  Object.keys(a).length === Object.keys(b).length && Object.keys(a).every((key) => same(a[key], b[key])));

async function main() {
  ({ piped } = await import('../src/view/piped.js'));
  ({ runProgram } = await import('../src/runtime.js'));
  const { createRunStore, dialoguesOf, linkOf } = await import('../src/view/runs.js');
  const { F } = await import('../src/view/marks.js');
  const module = await WebAssembly.compile(fs.readFileSync(path.join(site, 'newton.wasm')));
  const store = createRunStore();
  for (const input of dialogues()) {
    const printed = await moduleRun(module, input, store.observer);
    const record = store.records[store.records.length - 1];
    const { run, texts } = record;
    const label = JSON.stringify(input);
    const found = /Корень = (\S+) F\(\S+\)=\S+\nЧисло итераций = (\d+)/.exec(printed);
    if (found === null) {
      assert.match(printed, /Решение не найдено/, label);
      assert.deepStrictEqual([run.outcome, run.root, run.count], ['not-found', null, null], label);
      // The last update of a run that left the finite range could not be made.
      const last = run.steps[run.steps.length - 1];
      assert.strictEqual(run.reason, last === undefined || Number.isFinite(last.x) ? 'limit' : 'non-finite', label);
    } else {
      assert.deepStrictEqual([run.outcome, run.reason, texts.root, String(run.count)], ['root', 'accuracy', found[1], found[2]], label);
      assert.ok(same(run.root, run.steps[run.steps.length - 1].x), label);
    }
    // The drawn curve passes through every F the program reported, to 1e-9 of the terms it sums.
    record.starts.forEach((x, k) => {
      const { f } = run.steps[k];
      const terms = 2 * Math.exp(-x) + 0.2 * x * x + 1.5;
      if (Number.isFinite(f) && Number.isFinite(terms)) assert.ok(Math.abs(F(x) - f) <= 1e-9 * terms, `${label}: F(${x})`);
    });
  }
  // Links of at most 50 runs, each made again.
  for (let from = 0; from < store.runs.length; from += 50) {
    const runs = store.runs.slice(from, from + 50);
    const again = createRunStore();
    const link = linkOf(runs);
    for (const dialogue of dialoguesOf(link)) await moduleRun(module, dialogue, again.observer);
    runs.forEach((run, i) => assert.ok(same(again.runs[i], run), `${link}: run ${i}`));
  }
  console.log(`${store.runs.length} runs: the view has the printed results, and links make the same runs again`);

  // A run of thousands of updates (none of this equation's is): as the program's observer would
  // tell it, its table keeps the first and last rows, its drawing the first and last steps.
  const { runMarks, drawnSteps } = await import('../src/view/marks.js');
  const { rowsShown, shownRows } = await import('../src/view/table.js');
  const long = createRunStore();
  const updates = 5000;
  long.observer.begin(0, 0, updates, `0 0 ${updates}`);
  for (let k = 0; k < updates; ++k) long.observer.update(k % 2, (k + 1) % 2, 0.5, -2, 0.25, '0 1 0.5 -2 0.25');
  long.observer.end(1, 0, updates, '0');
  const [record] = long.records;
  const start = performance.now();
  const marks = runMarks(record);
  const rows = rowsShown(record.texts.rows.length);
  console.log(`${updates} updates: drawn and tabled in ${(performance.now() - start).toFixed(1)} ms`);
  assert.deepStrictEqual([marks.tangents.length, marks.left], [drawnSteps, updates - drawnSteps]);
  assert.deepStrictEqual([rows.length, rows[shownRows], rows[rows.length - 1]], [2 * shownRows + 1, null, updates - 1]);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
