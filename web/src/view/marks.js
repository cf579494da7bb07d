// The drawing as data: the curve of F, each run's steps as points, tangents and verticals, and the
// windows onto the plane (the whole picture, the runs' steps, one step). Pure functions of the runs'
// numbers, so the graph, its tests and the table read the same rows.

// F in double precision: good enough to draw, never used for a number shown.
export const F = (x) => 2 * Math.exp(-x) + 0.2 * x * x - 1.5;

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

// The window that shows the whole picture: both roots (near 0.2997 and 2.5994) and the minimum
// between them (near 1.3267), with the curve's height there.
export function wholeWindow() {
  return around(-1.5, 4.5, []);
}

// The window that fits the steps of the runs: their finite iterates and the feet of their tangents
// within the box it follows, with the curve around them.
export function stepsWindow(markSets) {
  const xs = [];
  const ys = [];
  for (const marks of markSets) {
    for (const p of marks.points) if (p.near) xs.push(p.x), ys.push(p.y);
    for (const t of marks.tangents) if (t.near) xs.push(t.x2), ys.push(0);
  }
  if (xs.length === 0) return wholeWindow();
  const low = Math.min(...xs);
  const high = Math.max(...xs);
  const span = Math.max(high - low, 0.05);
  const middle = (low + high) / 2;
  return around(middle - span * 0.56, middle + span * 0.56, ys);
}

// The window that shows step k of a run: its point, its tangent and the next iterate, that iterate
// half a window's width from the point, so their distance is never under a quarter of it.
export function stepWindow(marks, k) {
  const t = marks.tangents.find((tangent) => tangent.k === k);
  const p = marks.points.find((point) => point.k === k);
  if (t === undefined) return p === undefined ? null : around(p.x - 0.5, p.x + 0.5, [p.y]);
  const span = Math.max(2 * Math.abs(t.x2 - t.x1), 1e-6 * Math.max(1, Math.abs(t.x1)));
  const middle = (t.x1 + t.x2) / 2;
  return around(middle - span / 2, middle + span / 2, [t.y1, 0]);
}

// x from x0 to x1, y over these heights and the curve's between x0 and x1 (held to the box the
// window follows), with a margin.
function around(x0, x1, heights) {
  const ys = [...heights];
  for (let i = 0; i <= 64; ++i) ys.push(Math.min(near.y1, Math.max(near.y0, F(x0 + ((x1 - x0) * i) / 64))));
  const y0 = Math.min(...ys);
  const y1 = Math.max(...ys);
  const my = Math.max(y1 - y0, 1e-9 * Math.max(1, Math.abs(y1))) * 0.08;
  return { x0, x1, y0: y0 - my, y1: y1 + my };
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
