// The graph: F over the window, with axes, a grid and labelled ticks, and the marks of the runs
// shown, in SVG drawn at the size it is shown (so its text keeps its size on a phone). Zoomed and
// panned by wheel, pinch, drag, keys and buttons; «К шагам» fits the runs' steps again, «Весь
// график» shows the whole picture. Every change of the window is told to its listeners.
import { clip, curve, stepWindow, stepsWindow, wholeWindow } from './marks.js';
import { dragged, panned, planeScales, wheelFactor, zoomed } from './scale.js';
import { markerOf, markerPath } from './styles.js';

export const svgNS = 'http://www.w3.org/2000/svg';
const margin = { right: 12, top: 12, bottom: 30 };
const labelWidth = 7.5;  // CSS pixels a tick label's character takes at most

export function element(name, attributes = {}, parent = null) {
  const node = document.createElementNS(svgNS, name);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, String(value));
  if (parent !== null) parent.append(node);
  return node;
}

// An HTML element, for the view's panels around the drawing.
export function html(tag, attributes = {}, text = '') {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
  if (text !== '') node.textContent = text;
  return node;
}

const round = (v) => Math.round(v * 100) / 100;

// A marker of the run's style centred on (x, y).
export function marker(style, x, y, parent, attributes) {
  return element('path', { d: markerPath(style, round(x), round(y), 4.5), 'data-marker': markerOf(style), ...attributes }, parent);
}

// Draws into `container`; returns the graph's interface: show(runs) with runs [{ id, marks, style }],
// showStep(id, k), actions (the buttons'), view() and area() (the window and the plotting area in
// CSS pixels), scales(), and onWindow(listener), called with the window at every change.
export function createGraph(container, { describedBy }) {
  const svg = element('svg', {
    class: 'graph', role: 'img', tabindex: 0,
    'aria-label': 'График F(x) и касательные шагов метода; их числа — в таблице',
    'aria-describedby': describedBy,
  });
  container.append(svg);
  const clipPath = element('clipPath', { id: 'graph-clip' }, element('defs', {}, svg));
  const clipRect = element('rect', {}, clipPath);
  const layers = {
    grid: element('g', { class: 'grid' }, svg),
    axes: element('g', { class: 'axes' }, svg),
    content: element('g', { 'clip-path': 'url(#graph-clip)' }, svg),
  };
  const listeners = [];
  let shown = [];
  let chosen = null;  // { id, k }: the step a table row chose
  let view = wholeWindow();
  let size = { width: 0, height: 0 };  // set by resize(), which draws
  let left = 56;  // room for the y ticks' labels

  const area = () => ({ x: left, y: margin.top, width: size.width - left - margin.right,
                        height: size.height - margin.top - margin.bottom });
  const scales = () => planeScales(view, area());

  function draw() {
    for (const layer of Object.values(layers)) layer.replaceChildren();
    svg.setAttribute('viewBox', `0 0 ${size.width} ${size.height}`);
    svg.setAttribute('width', size.width);
    svg.setAttribute('height', size.height);
    // The y ticks do not depend on the room left for their labels.
    const yTicks = scales().y.ticks(Math.max(2, Math.round(area().height / 60)));
    left = Math.max(40, 12 + labelWidth * Math.max(...yTicks.map((t) => t.text.length)));
    const plot = area();
    for (const [key, value] of Object.entries(plot)) clipRect.setAttribute(key, value);
    const { x: sx, y: sy } = scales();
    const bottom = plot.y + plot.height;
    for (const { value, text } of sx.ticks(Math.max(2, Math.round(plot.width / 80)))) {
      const at = round(sx.map(value));
      element('line', { x1: at, x2: at, y1: plot.y, y2: bottom }, layers.grid);
      element('text', { x: at, y: bottom + 18, 'text-anchor': 'middle', class: 'tick' }, layers.axes).textContent = text;
    }
    for (const { value, text } of yTicks) {
      const at = round(sy.map(value));
      element('line', { x1: plot.x, x2: plot.x + plot.width, y1: at, y2: at }, layers.grid);
      element('text', { x: plot.x - 6, y: at + 4, 'text-anchor': 'end', class: 'tick' }, layers.axes).textContent = text;
    }
    element('rect', { ...plot, class: 'frame' }, layers.axes);
    if (view.y0 < 0 && view.y1 > 0) {
      element('line', { x1: plot.x, x2: plot.x + plot.width, y1: round(sy.map(0)), y2: round(sy.map(0)), class: 'axis x-axis' }, layers.axes);
    }
    if (view.x0 < 0 && view.x1 > 0) {
      element('line', { x1: round(sx.map(0)), x2: round(sx.map(0)), y1: plot.y, y2: bottom, class: 'axis' }, layers.axes);
    }
    element('text', { x: plot.x + plot.width - 4, y: bottom - 6, 'text-anchor': 'end', class: 'name' }, layers.axes)
      .textContent = 'x';
    element('text', { x: plot.x + 6, y: plot.y + 16, class: 'name' }, layers.axes).textContent = 'F(x)';

    const line = curve(view, Math.round(plot.width)).map(([x, y], i) => `${i === 0 ? 'M' : 'L'}${round(sx.map(x))},${round(sy.map(y))}`);
    element('path', { d: line.join(''), class: 'curve' }, layers.content);
    // Segments are cut to the window and a margin around it: far coordinates draw nothing sane.
    const w = view.x1 - view.x0;
    const h = view.y1 - view.y0;
    const box = { x0: view.x0 - w, x1: view.x1 + w, y0: view.y0 - h, y1: view.y1 + h };
    const within = (x, y) => x >= box.x0 && x <= box.x1 && y >= box.y0 && y <= box.y1;
    const segment = (s, attributes, parent) => {
      const part = clip(s, box);
      if (part === null) return;
      element('line', { x1: round(sx.map(part.x1)), y1: round(sy.map(part.y1)), x2: round(sx.map(part.x2)),
                        y2: round(sy.map(part.y2)), ...attributes }, parent);
    };
    for (const { marks, style, id } of shown) {
      const group = element('g', { class: `run style-${style}`, 'data-run': id }, layers.content);
      const isChosen = (k) => chosen !== null && chosen.id === id && chosen.k === k;
      for (const t of marks.tangents) {
        segment(t, { class: isChosen(t.k) ? 'tangent chosen' : 'tangent', 'data-step': t.k }, group);
      }
      for (const v of marks.verticals) segment({ x1: v.x, y1: v.y1, x2: v.x, y2: v.y2 }, { class: 'vertical' }, group);
      for (const p of marks.points) {
        if (!within(p.x, p.y)) continue;
        marker(style, sx.map(p.x), sy.map(p.y), group, { class: 'point', 'data-step': p.k });
        if (isChosen(p.k)) element('circle', { cx: round(sx.map(p.x)), cy: round(sy.map(p.y)), r: 9, class: 'chosen-ring' }, group);
      }
      if (marks.root !== null && within(marks.root.x, 0)) {
        element('circle', { cx: round(sx.map(marks.root.x)), cy: round(sy.map(0)), r: 7, class: 'root' }, group);
      }
    }
  }

  function setView(next) {
    if (next === null || ![next.x0, next.x1, next.y0, next.y1].every(Number.isFinite)) return;
    const w = next.x1 - next.x0;
    const h = next.y1 - next.y0;
    const scale = Math.max(1, Math.abs(next.x0), Math.abs(next.x1));
    if (w < scale * 1e-12 || h <= 0 || w > 1e7) return;
    view = next;
    draw();
    for (const listener of listeners) listener(view);
  }

  // The plane's point under a pointer.
  function at(event) {
    const box = svg.getBoundingClientRect();
    const { x, y } = scales();
    return { x: x.invert(event.clientX - box.left), y: y.invert(event.clientY - box.top) };
  }

  svg.addEventListener('wheel', (event) => {
    event.preventDefault();
    const p = at(event);
    setView(zoomed(view, wheelFactor(event.deltaY), p.x, p.y));
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
    const now = { x: event.clientX, y: event.clientY };
    if (pointers.size === 1) {
      setView(dragged(view, scales(), now.x - last.x, now.y - last.y));
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
    steps: () => setView(stepsWindow(shown.map((run) => run.marks))),
    whole: () => setView(wholeWindow()),
  };
  const keys = { ArrowLeft: 'left', ArrowRight: 'right', ArrowUp: 'up', ArrowDown: 'down', '+': 'in', '=': 'in',
                 '-': 'out', 0: 'steps', Home: 'steps', End: 'whole' };
  svg.addEventListener('keydown', (event) => {
    const action = keys[event.key];
    if (action === undefined || event.ctrlKey || event.altKey || event.metaKey) return;
    event.preventDefault();
    actions[action]();
  });

  // Drawn at the width it is given, a little over half as high.
  const resize = () => {
    const width = Math.max(240, Math.round(container.clientWidth));
    const height = Math.round(Math.min(440, Math.max(220, width * 0.62)));
    if (width === size.width && height === size.height) return;
    size = { width, height };
    setView(view);
  };
  if (typeof ResizeObserver === 'function') new ResizeObserver(resize).observe(container);
  resize();
  return {
    svg,
    actions,
    view: () => view,
    area,
    scales,
    onWindow(listener) {
      listeners.push(listener);
    },
    // Shows these runs, and follows them: the window fits their steps.
    show(runs) {
      shown = runs;
      if (chosen !== null && !runs.some((run) => run.id === chosen.id)) chosen = null;
      setView(stepsWindow(runs.map((run) => run.marks)));
    },
    // Zooms to step k of the run shown with this id, and marks it.
    showStep(id, k) {
      const run = shown.find((r) => r.id === id);
      if (run === undefined) return;
      chosen = { id, k };
      const next = stepWindow(run.marks, k);
      if (next === null) draw();
      else setView(next);
    },
  };
}
