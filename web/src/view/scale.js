// The one linear scale the view draws with: the graph's axes, its zoom and pan, and the strip of
// starting values under it all map the plane through it. Its ticks are round numbers (1, 2 or 5
// times a power of ten), written with the decimal point the program reads.

// The round tick values across [from, to], about `count` of them, and the step between them.
export function tickStep(from, to, count) {
  const raw = Math.abs(to - from) / count;
  const power = 10 ** Math.floor(Math.log10(raw));
  return [1, 2, 5, 10].map((m) => m * power).find((s) => s >= raw * (1 - 1e-12));
}

export function ticks(from, to, count = 6) {
  const [low, high] = from <= to ? [from, to] : [to, from];
  const step = tickStep(low, high, count);
  const values = [];
  for (let i = Math.ceil(low / step - 1e-9); i * step <= high + step * 1e-9; ++i) {
    const v = i * step;
    values.push(i === 0 ? 0 : Number(v.toPrecision(12)));
  }
  return values;
}

// A tick's label: as many decimals as the step needs, with a point; on an axis of very large or
// small values (`largest` its largest magnitude), in the program's exponent form (1.5e+06, 5e-07).
export function tickText(value, step, largest = Math.abs(value)) {
  if (value === 0) return '0';
  const magnitude = Math.abs(value);
  if (largest >= 1e6 || largest < 1e-3) {
    return value.toExponential(Math.max(0, Math.floor(Math.log10(magnitude)) - Math.floor(Math.log10(step))))
      .replace(/e([+-])(\d)$/, 'e$10$2');
  }
  return value.toFixed(Math.max(0, -Math.floor(Math.log10(step) + 1e-9)));
}

// The map of [d0, d1] onto [r0, r1] (r1 < r0 turns it over, as the y axis of a drawing is), its
// inverse, and its ticks with their labels.
export function linearScale(d0, d1, r0, r1) {
  const k = (r1 - r0) / (d1 - d0);
  return {
    domain: [d0, d1],
    range: [r0, r1],
    map: (v) => r0 + (v - d0) * k,
    invert: (p) => d0 + (p - r0) / k,
    ticks(count) {
      const step = tickStep(d0, d1, count);
      const largest = Math.max(Math.abs(d0), Math.abs(d1));
      return ticks(d0, d1, count).map((value) => ({ value, text: tickText(value, step, largest) }));
    },
  };
}

// The window of the plane onto a plotting area ({x, y, width, height} in CSS pixels): the x scale
// left to right, the y scale bottom to top.
export function planeScales(view, area) {
  return {
    x: linearScale(view.x0, view.x1, area.x, area.x + area.width),
    y: linearScale(view.y0, view.y1, area.y + area.height, area.y),
  };
}

// The window zoomed by `factor` (below 1 zooms in) about the point (cx, cy).
export function zoomed(view, factor, cx = (view.x0 + view.x1) / 2, cy = (view.y0 + view.y1) / 2) {
  return {
    x0: cx + (view.x0 - cx) * factor, x1: cx + (view.x1 - cx) * factor,
    y0: cy + (view.y0 - cy) * factor, y1: cy + (view.y1 - cy) * factor,
  };
}

export function panned(view, dx, dy) {
  return { x0: view.x0 + dx, x1: view.x1 + dx, y0: view.y0 + dy, y1: view.y1 + dy };
}

// The zoom of a wheel turn: turned away from the reader (deltaY < 0) it zooms in, towards them out.
export const wheelFactor = (deltaY) => (deltaY < 0 ? 1 / 1.2 : 1.2);

// A drag by (dx, dy) CSS pixels: the plane follows the pointer.
export function dragged(view, scales, dx, dy) {
  const x = scales.x.invert(scales.x.range[0]) - scales.x.invert(scales.x.range[0] + dx);
  const y = scales.y.invert(scales.y.range[0]) - scales.y.invert(scales.y.range[0] + dy);
  return panned(view, x, y);
}
