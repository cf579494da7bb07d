// The graph: F over the window, with axes, a grid and labelled ticks, and the marks of the runs
// shown, in SVG. Zoomed and panned by wheel, pinch, drag, keys and buttons; reset to the window
// that follows the runs.
import { clip, curve, fitted, panned, ticks, zoomed } from './marks.js';

const svgNS = 'http://www.w3.org/2000/svg';
const size = { width: 640, height: 420, left: 52, right: 12, top: 12, bottom: 32 };
const markers = ['circle', 'square', 'triangle', 'diamond', 'cross'];

function element(name, attributes = {}, parent = null) {
  const node = document.createElementNS(svgNS, name);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, String(value));
  if (parent !== null) parent.append(node);
  return node;
}

const round = (v) => Math.round(v * 100) / 100;

// A marker of the given shape centred on (x, y).
function marker(shape, px, py, parent, attributes) {
  const [x, y, r] = [round(px), round(py), 4.5];
  const paths = {
    square: `M${x - r},${y - r}h${2 * r}v${2 * r}h${-2 * r}z`,
    triangle: `M${x},${y - r * 1.2}L${x + r * 1.1},${y + r * 0.8}L${x - r * 1.1},${y + r * 0.8}z`,
    diamond: `M${x},${y - r * 1.3}L${x + r},${y}L${x},${y + r * 1.3}L${x - r},${y}z`,
    cross: `M${x - r},${y - r}L${x + r},${y + r}M${x + r},${y - r}L${x - r},${y + r}`,
  };
  if (shape === 'circle') return element('circle', { cx: x, cy: y, r, 'data-marker': shape, ...attributes }, parent);
  return element('path', { d: paths[shape], 'data-marker': shape, ...attributes }, parent);
}

// Draws into `container`; returns { show(runs), where runs are [{ marks, style, label }] }.
export function createGraph(container, { describedBy }) {
  const svg = element('svg', {
    viewBox: `0 0 ${size.width} ${size.height}`, class: 'graph', role: 'img', tabindex: 0,
    'aria-label': 'График F(x) и касательные шагов метода; их числа — в таблице',
    'aria-describedby': describedBy,
  });
  container.append(svg);
  const plot = { x: size.left, y: size.top, w: size.width - size.left - size.right, h: size.height - size.top - size.bottom };
  const clipPath = element('clipPath', { id: 'graph-clip' }, element('defs', {}, svg));
  element('rect', { x: plot.x, y: plot.y, width: plot.w, height: plot.h }, clipPath);
  const layers = {
    grid: element('g', { class: 'grid' }, svg),
    axes: element('g', { class: 'axes' }, svg),
    content: element('g', { 'clip-path': 'url(#graph-clip)' }, svg),
  };
  let shown = [];
  let view = fitted([]);

  const sx = (x) => plot.x + ((x - view.x0) / (view.x1 - view.x0)) * plot.w;
  const sy = (y) => plot.y + plot.h - ((y - view.y0) / (view.y1 - view.y0)) * plot.h;

  function draw() {
    for (const layer of Object.values(layers)) layer.replaceChildren();
    const xTicks = ticks(view.x0, view.x1, 8);
    const yTicks = ticks(view.y0, view.y1, 6);
    const digits = (values) => values.map((v) => v.toLocaleString('ru-RU', { maximumFractionDigits: 6 }));
    const xLabels = digits(xTicks);
    const yLabels = digits(yTicks);
    xTicks.forEach((x, i) => {
      element('line', { x1: round(sx(x)), x2: round(sx(x)), y1: plot.y, y2: plot.y + plot.h }, layers.grid);
      element('text', { x: round(sx(x)), y: plot.y + plot.h + 18, 'text-anchor': 'middle' }, layers.axes)
        .textContent = xLabels[i];
    });
    yTicks.forEach((y, i) => {
      element('line', { x1: plot.x, x2: plot.x + plot.w, y1: round(sy(y)), y2: round(sy(y)) }, layers.grid);
      element('text', { x: plot.x - 6, y: round(sy(y)) + 4, 'text-anchor': 'end' }, layers.axes).textContent = yLabels[i];
    });
    element('rect', { x: plot.x, y: plot.y, width: plot.w, height: plot.h, class: 'frame' }, layers.axes);
    if (view.y0 < 0 && view.y1 > 0) {
      element('line', { x1: plot.x, x2: plot.x + plot.w, y1: round(sy(0)), y2: round(sy(0)), class: 'axis' }, layers.axes);
    }
    if (view.x0 < 0 && view.x1 > 0) {
      element('line', { x1: round(sx(0)), x2: round(sx(0)), y1: plot.y, y2: plot.y + plot.h, class: 'axis' }, layers.axes);
    }
    element('text', { x: plot.x + plot.w - 4, y: plot.y + plot.h - 6, 'text-anchor': 'end', class: 'name' }, layers.axes)
      .textContent = 'x';
    element('text', { x: plot.x + 6, y: plot.y + 16, class: 'name' }, layers.axes).textContent = 'F(x)';

    const line = curve(view, plot.w).map(([x, y], i) => `${i === 0 ? 'M' : 'L'}${round(sx(x))},${round(sy(y))}`);
    element('path', { d: line.join(''), class: 'curve' }, layers.content);
    // Segments are cut to the window and a margin around it: far coordinates draw nothing sane.
    const w = view.x1 - view.x0;
    const h = view.y1 - view.y0;
    const margin = { x0: view.x0 - w, x1: view.x1 + w, y0: view.y0 - h, y1: view.y1 + h };
    const within = (x, y) => x >= margin.x0 && x <= margin.x1 && y >= margin.y0 && y <= margin.y1;
    const segment = (s, attributes, parent) => {
      const part = clip(s, margin);
      if (part === null) return;
      element('line', { x1: round(sx(part.x1)), y1: round(sy(part.y1)), x2: round(sx(part.x2)), y2: round(sy(part.y2)),
                        ...attributes }, parent);
    };
    for (const { marks, style, id } of shown) {
      const group = element('g', { class: `run style-${style}`, 'data-run': id }, layers.content);
      for (const t of marks.tangents) segment(t, { class: 'tangent', 'data-step': t.k }, group);
      for (const v of marks.verticals) segment({ x1: v.x, y1: v.y1, x2: v.x, y2: v.y2 }, { class: 'vertical' }, group);
      for (const p of marks.points) {
        if (within(p.x, p.y)) marker(markers[style % markers.length], sx(p.x), sy(p.y), group, { class: 'point' });
      }
      if (marks.root !== null && within(marks.root.x, 0)) {
        element('circle', { cx: round(sx(marks.root.x)), cy: round(sy(0)), r: 7, class: 'root' }, group);
      }
    }
  }

  function setView(next) {
    if (![next.x0, next.x1, next.y0, next.y1].every(Number.isFinite)) return;
    if (next.x1 - next.x0 < 1e-9 || next.y1 - next.y0 < 1e-9 || next.x1 - next.x0 > 1e7) return;
    view = next;
    draw();
  }

  // The plane's point under a pointer.
  function at(event) {
    const box = svg.getBoundingClientRect();
    const px = ((event.clientX - box.left) / box.width) * size.width;
    const py = ((event.clientY - box.top) / box.height) * size.height;
    return { x: view.x0 + ((px - plot.x) / plot.w) * (view.x1 - view.x0), y: view.y0 + ((plot.y + plot.h - py) / plot.h) * (view.y1 - view.y0) };
  }

  svg.addEventListener('wheel', (event) => {
    event.preventDefault();
    const p = at(event);
    setView(zoomed(view, event.deltaY > 0 ? 1.2 : 1 / 1.2, p.x, p.y));
  }, { passive: false });

  // One pointer drags; two pinch.
  const pointers = new Map();
  svg.addEventListener('pointerdown', (event) => {
    svg.setPointerCapture(event.pointerId);
    pointers.set(event.pointerId, { x: event.clientX, y: event.clientY });
  });
  svg.addEventListener('pointermove', (event) => {
    const last = pointers.get(event.pointerId);
    if (last === undefined) return;
    const box = svg.getBoundingClientRect();
    const now = { x: event.clientX, y: event.clientY };
    if (pointers.size === 1) {
      const dx = ((now.x - last.x) / box.width) * size.width / plot.w * (view.x1 - view.x0);
      const dy = ((now.y - last.y) / box.height) * size.height / plot.h * (view.y1 - view.y0);
      setView(panned(view, -dx, dy));
    } else if (pointers.size === 2) {
      const other = [...pointers.entries()].find(([id]) => id !== event.pointerId)[1];
      const before = Math.hypot(last.x - other.x, last.y - other.y);
      const after = Math.hypot(now.x - other.x, now.y - other.y);
      const middle = at({ clientX: (now.x + other.x) / 2, clientY: (now.y + other.y) / 2 });
      if (before > 0 && after > 0) setView(zoomed(view, before / after, middle.x, middle.y));
    }
    pointers.set(event.pointerId, now);
  });
  const release = (event) => pointers.delete(event.pointerId);
  svg.addEventListener('pointerup', release);
  svg.addEventListener('pointercancel', release);

  const actions = {
    in: () => setView(zoomed(view, 1 / 1.5)),
    out: () => setView(zoomed(view, 1.5)),
    left: () => setView(panned(view, -(view.x1 - view.x0) / 5, 0)),
    right: () => setView(panned(view, (view.x1 - view.x0) / 5, 0)),
    up: () => setView(panned(view, 0, (view.y1 - view.y0) / 5)),
    down: () => setView(panned(view, 0, -(view.y1 - view.y0) / 5)),
    reset: () => setView(fitted(shown.map((run) => run.marks))),
  };
  const keys = { ArrowLeft: 'left', ArrowRight: 'right', ArrowUp: 'up', ArrowDown: 'down', '+': 'in', '=': 'in', '-': 'out', 0: 'reset', Home: 'reset' };
  svg.addEventListener('keydown', (event) => {
    const action = keys[event.key];
    if (action === undefined || event.ctrlKey || event.altKey || event.metaKey) return;
    event.preventDefault();
    actions[action]();
  });

  draw();
  return {
    actions,
    // Shows these runs, and follows them: the window takes in their steps.
    show(runs) {
      shown = runs;
      view = fitted(runs.map((run) => run.marks));
      draw();
    },
  };
}
