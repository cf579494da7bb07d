// The drawing as data: the curve of F, each run's steps as points, tangents and verticals, the
// scales' ticks, and the window onto the plane with its zoom and pan. Pure functions of the runs'
// numbers, so the graph, its tests and the table read the same rows.

// F in double precision: good enough to draw, never used for a number shown.
export const F = (x) => 2 * Math.exp(-x) + 0.2 * x * x - 1.5;

// The window that shows both roots (near 0.2997 and 2.5994) and the minimum between them.
export const home = { x0: -1, x1: 4, y0: -1, y1: 4.5 };

// The window follows the steps within this box; a step to beyond it leaves the view with a note.
const near = { x0: -10, x1: 10, y0: -10, y1: 25 };

// How many steps of a run are drawn at most: the first and the last half each.
export const drawnSteps = 400;

const finite = (...values) => values.every(Number.isFinite);
const isNear = (x, y) => finite(x, y) && x >= near.x0 && x <= near.x1 && y >= near.y0 && y <= near.y1;

// The marks of one run: for step k, the point (x_k, F(x_k)), the tangent from it to (x_k+1, 0) and
// the vertical from there up to the curve at F(x_k+1); the root found; notes for the steps that
// leave the view (to beyond the box it follows, or out of the finite range). A long run keeps its
// first and last steps, with how many were left out.
export function runMarks(record) {
  const { run, starts } = record;
  const steps = run.steps;
  const points = [];
  const tangents = [];
  const verticals = [];
  const notes = [];
  const keep = (k) => steps.length <= drawnSteps || k < drawnSteps / 2 || k >= steps.length - drawnSteps / 2;
  for (let k = 0; k < steps.length; ++k) {
    if (!keep(k)) continue;
    const x = starts[k];
    const { f, x: next } = steps[k];
    const nextF = k + 1 < steps.length ? steps[k + 1].f : F(next);
    if (finite(x, f)) points.push({ k, x, y: f, near: isNear(x, f) });
    if (!finite(x, f, next)) {  // F, F' or the update itself was not finite
      notes.push({ k, what: 'non-finite', text: record.texts.rows[k] });
      continue;
    }
    tangents.push({ k, x1: x, y1: f, x2: next, y2: 0, near: isNear(next, 0) });
    if (Number.isFinite(nextF)) verticals.push({ k, x: next, y1: 0, y2: nextF });
    if (isNear(x, f) && !isNear(next, 0)) notes.push({ k, what: 'left', text: record.texts.rows[k] });
  }
  const root = run.outcome === 'root' && Number.isFinite(run.root) ? { x: run.root } : null;
  return { points, tangents, verticals, notes, root, left: Math.max(0, steps.length - drawnSteps) };
}

// The part of the segment from (x1, y1) to (x2, y2) inside the box, or null (Liang and Barsky).
export function clip(segment, box) {
  const { x1, y1, x2, y2 } = segment;
  const dx = x2 - x1;
  const dy = y2 - y1;
  let t0 = 0;
  let t1 = 1;
  for (const [p, q] of [[-dx, x1 - box.x0], [dx, box.x1 - x1], [-dy, y1 - box.y0], [dy, box.y1 - y1]]) {
    if (p === 0) {
      if (q < 0) return null;
      continue;
    }
    const t = q / p;
    if (p < 0) t0 = Math.max(t0, t);
    else t1 = Math.min(t1, t);
    if (t0 > t1) return null;
  }
  return { x1: x1 + t0 * dx, y1: y1 + t0 * dy, x2: x1 + t1 * dx, y2: y1 + t1 * dy };
}

// The window that follows the runs: the home window widened to take in their points and tangents'
// ends within the box it follows, with a margin.
export function fitted(markSets) {
  const box = { ...home };
  for (const marks of markSets) {
    for (const p of marks.points) if (p.near) widen(box, p.x, p.y);
    for (const t of marks.tangents) if (t.near) widen(box, t.x2, t.y2);
  }
  const mx = (box.x1 - box.x0) * 0.04;
  const my = (box.y1 - box.y0) * 0.04;
  return { x0: box.x0 - mx, x1: box.x1 + mx, y0: box.y0 - my, y1: box.y1 + my };
}

function widen(box, x, y) {
  box.x0 = Math.min(box.x0, x);
  box.x1 = Math.max(box.x1, x);
  box.y0 = Math.min(box.y0, y);
  box.y1 = Math.max(box.y1, y);
}

// The window zoomed by `factor` (below 1 zooms in) about the point (cx, cy), and moved by (dx, dy).
export function zoomed(view, factor, cx = (view.x0 + view.x1) / 2, cy = (view.y0 + view.y1) / 2) {
  return {
    x0: cx + (view.x0 - cx) * factor, x1: cx + (view.x1 - cx) * factor,
    y0: cy + (view.y0 - cy) * factor, y1: cy + (view.y1 - cy) * factor,
  };
}

export function panned(view, dx, dy) {
  return { x0: view.x0 + dx, x1: view.x1 + dx, y0: view.y0 + dy, y1: view.y1 + dy };
}

// Round tick values across [from, to], about `count` of them: steps of 1, 2 or 5 times a power of ten.
export function ticks(from, to, count = 6) {
  const raw = (to - from) / count;
  const power = 10 ** Math.floor(Math.log10(raw));
  const step = [1, 2, 5, 10].map((m) => m * power).find((s) => s >= raw);
  const values = [];
  for (let v = Math.ceil(from / step) * step; v <= to + step * 1e-9; v += step) {
    values.push(Math.abs(v) < step * 1e-9 ? 0 : Number(v.toPrecision(12)));
  }
  return values;
}

// The curve of F across the window, as many points as the drawing is wide; y outside the window is
// held just beyond it so the line leaves the picture cleanly.
export function curve(view, width) {
  const span = view.y1 - view.y0;
  const points = [];
  for (let i = 0; i <= width; ++i) {
    const x = view.x0 + ((view.x1 - view.x0) * i) / width;
    const y = Math.min(view.y1 + span, Math.max(view.y0 - span, F(x)));
    points.push([x, y]);
  }
  return points;
}
