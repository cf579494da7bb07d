// The view's pure functions, table by table: the scale and its ticks, the windows, the zoom's
// directions, the strip's columns, the table's text, what a run's end and an overflow are called,
// the runs' styles and the link. Usage: node --test web/test/view-units.test.mjs
import assert from 'node:assert';
import test from 'node:test';
import { columnStarts } from '../src/view/basin.js';
import { convergencePoints } from '../src/view/convergence.js';
import { F, runMarks, stepWindow, stepsWindow, wholeWindow } from '../src/view/marks.js';
import { createRunStore, dialoguesOf } from '../src/view/runs.js';
import { dragged, linearScale, planeScales, tickStep, wheelFactor, zoomed } from '../src/view/scale.js';
import { programText } from '../src/view/strip.js';
import { styleOf } from '../src/view/styles.js';
import { overflowText, reasonText, tableText } from '../src/view/table.js';

// A run as the program's observer tells it: [x, next, f, df, delta] per update, texts as %g writes.
function record(x0, eps, limit, updates, [kind, x, count]) {
  const store = createRunStore();
  const told = new Promise((resolve) => store.onRun(resolve));
  store.observer.begin(x0, eps, limit, [x0, eps, limit].map(String).join(' '));
  for (const u of updates) store.observer.update(...u, u.map(programText).join(' '));
  store.observer.end(kind, x, count, programText(x));
  return told;
}
const textbook = () => record(0, 0.001, 100, [[0, 0.25, 0.5, -2, 0.25], [0.25, 0.29809377, 0.070101, -1.4576, 0.04809377],
  [0.29809377, 0.2997312, 0.0023406, -1.4295, 0.00163743], [0.2997312, 0.29973304, 2.6e-6, -1.4290, 1.85e-6]], [0, 0.29973304, 3]);

test('the scale: y upwards, inverse, ticks of 1, 2 or 5 times a power of ten, labels with a point', () => {
  const { x, y } = planeScales({ x0: 0, x1: 0.3, y0: -0.1, y1: 0.6 }, { x: 50, y: 10, width: 600, height: 400 });
  assert.ok(y.map(F(0)) < y.map(0), 'F(0) = 0.5 lies above the x axis');
  assert.strictEqual(x.invert(x.map(0.123)).toFixed(12), '0.123000000000');
  for (const [from, to, count, step, labels] of [
    [-0.018, 0.318, 8, 0.05, '0 0.05 0.10 0.15 0.20 0.25 0.30'],
    [-1.5, 4.5, 8, 1, '-1 0 1 2 3 4'],
    [1.31, 1.33, 5, 0.005, '1.310 1.315 1.320 1.325 1.330'],
    [0.2997320, 0.2997340, 5, 5e-7, '0.2997320 0.2997325 0.2997330 0.2997335 0.2997340'],
    [-30000, 5, 6, 10000, '-30000 -20000 -10000 0'],
    [0, 2e6, 4, 500000, '0 5e+05 1.0e+06 1.5e+06 2.0e+06'],
  ]) {
    assert.strictEqual(tickStep(from, to, count), step, `${from}…${to}`);
    assert.strictEqual(linearScale(from, to, 0, 1).ticks(count).map((t) => t.text).join(' '), labels);
  }
});

test('the windows: the steps of 0 0.001 100, the whole picture, one step a quarter of the width apart', async () => {
  const marks = runMarks(await textbook());
  const steps = stepsWindow([marks]);
  assert.ok(steps.x0 > -0.05 && steps.x0 <= 0 && steps.x1 >= 0.2998 && steps.x1 < 0.36, JSON.stringify(steps));
  assert.ok(steps.y0 < 0 && steps.y1 >= 0.5 && steps.y1 < 0.7, JSON.stringify(steps));
  const whole = wholeWindow();
  assert.ok(whole.x0 <= -1.4 && whole.x1 >= 4.4 && whole.y0 < -0.6173 && whole.y1 > F(-1.4), JSON.stringify(whole));
  for (const k of [0, 1, 2, 3]) {
    const view = stepWindow(marks, k);
    const t = marks.tangents[k];
    const width = view.x1 - view.x0;
    assert.ok(Math.abs(t.x2 - t.x1) >= width / 4 && [t.x1, t.x2].every((v) => v >= view.x0 && v <= view.x1), `step ${k}`);
  }
});

test('the wheel and a drag go the way the hand does', () => {
  const view = { x0: 0, x1: 1, y0: 0, y1: 1 };
  const scales = planeScales(view, { x: 0, y: 0, width: 100, height: 100 });
  const away = zoomed(view, wheelFactor(-100), 0.5, 0.5);
  const towards = zoomed(view, wheelFactor(100), 0.5, 0.5);
  assert.ok(away.x1 - away.x0 < 1 && towards.x1 - towards.x0 > 1, 'a turn away zooms in, towards the reader out');
  const moved = dragged(view, scales, 10, 10);  // right and down: the plane follows the pointer
  assert.ok(moved.x0 < 0 && moved.y0 > 0, JSON.stringify(moved));
});

test('the strip: one X0 per column, the single nearest its centre', () => {
  const scale = linearScale(1.31, 1.33, 50, 850);
  const starts = columnStarts(scale, 50, 800);
  assert.strictEqual(starts.length, 800);
  for (const i of [0, 399, 799]) {
    const centre = scale.invert(50 + i + 0.5);
    assert.strictEqual(starts[i], Math.fround(centre));
    const ulp = Math.fround(centre) - Math.fround(Math.fround(centre) - 1e-7);
    assert.ok(Math.abs(starts[i] - centre) <= ulp, `column ${i}`);
  }
});

test('the table as text, and what ended a run', async () => {
  const run = await textbook();
  const lines = tableText(run).split('\n');
  assert.deepStrictEqual([lines[0], lines[1], lines.length], ['k\tx\tF(x)\tF\'(x)\tδ', '0\t0\t0.5\t-2\t0.25', 6]);
  assert.match(reasonText(run), /итераций 3\. «Число итераций» — это обновления, не прошедшие проверку точности: из 4/);
  const limited = await record(0, 0.001, 2, [[0, 0.25, 0.5, -2, 0.25], [0.25, 0.29809377, 0.070101, -1.4576, 0.04809377]],
                               [1, 0.29809377, 2]);
  assert.strictEqual(reasonText(limited), 'предел в 2 итераций исчерпан: решение не найдено');
  const cycle = await record(0, 0, 100, [[0, 0.25, 0.5, -2, 0.25], [0.25, 0.25, 0.07, -1.45, 0]], [1, 0.25, 100]);
  assert.match(reasonText(cycle), /x повторился \(0\.25\)/);
  const overflow = await record(1.32, 1e-6, 50, [[1.32, -97.1162, -0.617, -0.00628, -98.4], [-97.1162, NaN, 3.00639e42, -3.0e42, NaN]],
                                [2, -97.1162, 1]);
  assert.strictEqual(overflowText(overflow, 1), 'F = 3.00639e+42 больше наибольшего числа одинарной точности (около 3.4·10³⁸): переполнение');
  assert.strictEqual(tableText(overflow).split('\n')[2], '1\t-97.1162\t3.00639e+42\t-3e+42\t—');
  assert.deepStrictEqual(convergencePoints(cycle.run).map((p) => p.k), [0]);
});

test('styles: runs 0, 5 and 10 differ', () => {
  assert.strictEqual(new Set([0, 5, 10].map(styleOf)).size, 3);
});

test('a link: the runs in it, junk left out', () => {
  for (const [hash, runs] of [
    ['#runs=0,0.001,100;1.32,1e-6,50', ['0 0.001 100\n', '1.32 1e-6 50\n']],
    ['#runs=0%2C0.001%2C100%3B1.33,1e-6,50', ['0 0.001 100\n', '1.33 1e-6 50\n']],
    ['#runs=0,0.001,100%', []],
    ['#runs=0,0.001,1e2;x,1,1;<b>,1,1;1,1', []],
  ]) assert.deepStrictEqual(dialoguesOf(hash), runs, hash);
});

test('numbers as the program writes them', () => {
  for (const [value, text] of [[0.29973304, '0.299733'], [7.18151e-9, '7.18151e-09'], [-26857.8, '-26857.8'],
                               [1234567, '1.23457e+06'], [0.0001, '0.0001'], [2.6112, '2.6112']]) {
    assert.strictEqual(programText(value), text);
  }
});
