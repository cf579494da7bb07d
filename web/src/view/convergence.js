// «Сходимость»: log₁₀|δₖ| against k for each run shown, in the run's style. Near a simple root the
// correct digits roughly double each step, and the points fall ever faster. The values are in the
// plot's description too, for a screen reader.
import { element, marker } from './graph.js';
import { linearScale } from './scale.js';

// A run's points: log₁₀|δₖ| from its own δ, leaving out steps whose δ is 0 or not finite.
export function convergencePoints(run) {
  const points = [];
  run.steps.forEach((step, k) => {
    if (Number.isFinite(step.delta) && step.delta !== 0) points.push({ k, value: Math.log10(Math.abs(step.delta)) });
  });
  return points;
}

const margin = { left: 56, right: 12, top: 10, bottom: 30 };

// Draws into `container`, at the width it is shown; returns show(runs), runs [{ id, style, label,
// points }].
export function createConvergence(container, descriptionId) {
  const svg = element('svg', {
    class: 'convergence', role: 'img',
    'aria-label': 'Сходимость: десятичный логарифм |δₖ| по шагам k', 'aria-describedby': descriptionId,
  });
  container.append(svg);
  let shown = [];
  const show = (runs) => {
    shown = runs;
    const size = { width: Math.max(240, Math.round(container.clientWidth)), height: 220 };
    for (const [key, value] of Object.entries({ ...size, viewBox: `0 0 ${size.width} ${size.height}` })) {
      svg.setAttribute(key, value);
    }
    svg.replaceChildren();
    const all = runs.flatMap((run) => run.points);
    const plot = { x: margin.left, y: margin.top, w: size.width - margin.left - margin.right,
                   h: size.height - margin.top - margin.bottom };
    const kMax = Math.max(1, ...all.map((p) => p.k));
    const low = Math.min(-1, ...all.map((p) => p.value));
    const high = Math.max(0, ...all.map((p) => p.value));
    const sx = linearScale(-0.5, kMax + 0.5, plot.x, plot.x + plot.w);
    const sy = linearScale(low - 0.5, high + 0.5, plot.y + plot.h, plot.y);
    const grid = element('g', { class: 'grid' }, svg);
    const axes = element('g', { class: 'axes' }, svg);
    for (const { value, text } of sx.ticks(Math.min(kMax + 1, 10)).filter((t) => Number.isInteger(t.value))) {
      element('line', { x1: sx.map(value), x2: sx.map(value), y1: plot.y, y2: plot.y + plot.h }, grid);
      element('text', { x: sx.map(value), y: plot.y + plot.h + 18, 'text-anchor': 'middle', class: 'tick' }, axes).textContent = text;
    }
    for (const { value, text } of sy.ticks(5)) {
      element('line', { x1: plot.x, x2: plot.x + plot.w, y1: sy.map(value), y2: sy.map(value) }, grid);
      element('text', { x: plot.x - 6, y: sy.map(value) + 4, 'text-anchor': 'end', class: 'tick' }, axes).textContent = text;
    }
    element('rect', { x: plot.x, y: plot.y, width: plot.w, height: plot.h, class: 'frame' }, axes);
    element('text', { x: plot.x + plot.w - 4, y: plot.y + plot.h - 6, 'text-anchor': 'end', class: 'name' }, axes).textContent = 'k';
    element('text', { x: plot.x + 6, y: plot.y + 16, class: 'name' }, axes).textContent = 'log₁₀|δₖ|';
    for (const { id, style, points } of runs) {
      const group = element('g', { class: `run style-${style}`, 'data-run': id }, svg);
      const path = points.map((p, i) => `${i === 0 ? 'M' : 'L'}${sx.map(p.k)},${sy.map(p.value)}`).join('');
      if (path !== '') element('path', { d: path, class: 'tangent' }, group);
      for (const p of points) marker(style, sx.map(p.k), sy.map(p.value), group, { class: 'point' });
    }
  };
  if (typeof ResizeObserver === 'function') new ResizeObserver(() => show(shown)).observe(container);
  return { show };
}

// The plot's values in words: for each run, k and log₁₀|δₖ| to two decimals.
export function convergenceText(runs) {
  return runs.map(({ label, points }) => `${label}: ${points.length === 0 ? 'шагов с δ ≠ 0 нет'
    : points.map((p) => `k = ${p.k}: ${p.value.toFixed(2)}`).join('; ')}.`).join(' ');
}
