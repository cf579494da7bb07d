// The strip «Куда сходится X0» under the graph: one starting value per pixel column of the graph's
// x window, coloured by what the program reports from it with the latest run's accuracy and limit
// (the first root, the second, no solution within the limit, values beyond single precision) and
// shaded by its count. A column chosen (click, or arrow keys and Enter) starts a run from it.
import { columnStarts } from './basin.js';
import { html } from './graph.js';

const minimum = 1.3267;  // F's minimum lies between the two roots

// What the program writes for a number: six significant digits, as printf's %g.
export function programText(value) {
  if (!Number.isFinite(value)) return value > 0 ? '+INF' : value < 0 ? '-INF' : '+NAN';
  if (value === 0) return Object.is(value, -0) ? '-0' : '0';
  const [mantissa, exponent] = value.toExponential(5).split('e');
  const e = Number(exponent);
  const trim = (text) => (text.includes('.') ? text.replace(/0+$/, '').replace(/\.$/, '') : text);
  if (e < -4 || e >= 6) return `${trim(mantissa)}e${e < 0 ? '-' : '+'}${String(Math.abs(e)).padStart(2, '0')}`;
  return trim(value.toFixed(5 - e));
}

// The class of a sample, as the legend names it.
export function kindOf(sample) {
  if (sample.outcome !== 'converged') return sample.outcome;
  return sample.root < minimum ? 'first' : 'second';
}

const kinds = {
  first: { hue: 212, saturation: 70, text: 'к первому корню (≈ 0.2997)' },
  second: { hue: 28, saturation: 85, text: 'ко второму корню (≈ 2.5994)' },
  not_found: { hue: 0, saturation: 0, text: '«Решение не найдено» за предел итераций' },
  non_finite: { hue: 330, saturation: 60, text: 'значения вышли за пределы одинарной точности' },
};

// A sample's colour: darker for fewer iterations.
export function colourOf(sample) {
  const { hue, saturation } = kinds[kindOf(sample)];
  const shade = sample.count === null ? 0.5 : Math.min(1, Math.log2(1 + sample.count) / Math.log2(65));
  const lightness = sample.outcome === 'non_finite' ? 25 : 28 + 50 * shade;
  return `hsl(${hue} ${saturation}% ${lightness}%)`;
}

export function describeSample(sample, x0Text) {
  const start = `X0 = ${x0Text}`;
  if (sample.outcome === 'converged') return `${start}: корень ${programText(sample.root)}, итераций ${sample.count}`;
  if (sample.outcome === 'not_found') return `${start}: Решение не найдено`;
  return `${start}: значения вышли за пределы одинарной точности, решение не найдено`;
}

// run: a basin runner (basin.js); choose(x0, eps, limit) starts a run; x0Text(x0) writes a single as
// a link does. Returns update(scale, area, eps, limit), hide() and state() (for window.newtonBasin).
export function createStrip(container, { run, choose, x0Text }) {
  const box = html('div', { class: 'strip', hidden: '' });
  box.append(html('h3', { id: 'strip-title' }, 'Куда сходится X0'));
  const canvas = html('canvas', { tabindex: 0, role: 'slider', 'aria-labelledby': 'strip-title', height: 28,
                                  'aria-valuemin': 0, 'aria-valuemax': 0, 'aria-valuenow': 0 });
  const status = html('p', { class: 'strip-status', 'aria-live': 'polite' });
  const legend = html('ul', { class: 'strip-legend' });
  for (const [kind, { text }] of Object.entries(kinds)) {
    const item = html('li');
    const sample = { outcome: kind === 'first' || kind === 'second' ? 'converged' : kind, count: 1, root: kind === 'first' ? 0 : 3 };
    item.append(html('span', { class: 'strip-swatch', style: `background: ${colourOf(sample)}`, 'aria-hidden': 'true' }), text);
    legend.append(item);
  }
  legend.append(html('li', { class: 'strip-shade' }, 'Светлее — больше итераций. Выберите столбец (щелчок или стрелки и Enter), чтобы запустить программу с этим X0.'));
  const track = html('div', { class: 'strip-track' });
  track.append(canvas, html('span', { class: 'strip-cursor', 'aria-hidden': 'true' }));
  box.append(track, status, legend);
  container.append(box);

  let state = { eps: null, limit: null, complete: false, samples: [] };
  let generation = 0;
  let cursor = 0;
  let starts = [];

  function paint(from, samples) {
    const context = canvas.getContext('2d');
    const ratio = canvas.width / Math.max(1, starts.length);
    samples.forEach((sample, i) => {
      context.fillStyle = colourOf(sample);
      context.fillRect(Math.floor((from + i) * ratio), 0, Math.ceil(ratio), canvas.height);
    });
  }

  function showCursor() {
    const sample = state.samples[cursor];
    canvas.setAttribute('aria-valuenow', cursor);
    canvas.setAttribute('aria-valuetext', sample ? describeSample(sample, x0Text(sample.x0)) : 'вычисляется');
    box.style.setProperty('--cursor', `${cursor}px`);
  }

  function update(scale, area, eps, limit) {
    const mine = ++generation;
    box.hidden = false;
    starts = columnStarts(scale, area.x, area.width);
    state = { eps, limit, complete: false, samples: [] };
    box.style.marginLeft = `${area.x}px`;
    canvas.style.width = `${starts.length}px`;
    const ratio = window.devicePixelRatio || 1;
    canvas.width = Math.max(1, Math.round(starts.length * ratio));
    canvas.height = Math.round(28 * ratio);
    canvas.setAttribute('aria-valuemax', Math.max(0, starts.length - 1));
    cursor = Math.min(cursor, Math.max(0, starts.length - 1));
    status.textContent = `Вычисляется… (точность ${x0Text(eps)}, предел ${limit})`;
    run(starts, eps, limit, (from, samples) => {
      if (mine !== generation) return;
      state.samples.push(...samples);
      paint(from, samples);
      if (from <= cursor && cursor < from + samples.length) showCursor();
    }, () => mine !== generation).then((done) => {
      if (!done || mine !== generation) return;
      state.complete = true;
      status.textContent = `Точность ${x0Text(eps)}, предел ${limit}: ${starts.length} значений X0.`;
      showCursor();
    }).catch((error) => {
      if (mine === generation) status.textContent = `Не удалось вычислить: ${error.message}`;
    });
  }

  const chooseColumn = (i) => {
    const sample = state.samples[i];
    if (sample !== undefined) choose(sample.x0, state.eps, state.limit);
  };
  canvas.addEventListener('click', (event) => {
    const box = canvas.getBoundingClientRect();
    cursor = Math.max(0, Math.min(starts.length - 1, Math.floor(event.clientX - box.left)));
    showCursor();
    chooseColumn(cursor);
  });
  canvas.addEventListener('keydown', (event) => {
    const moves = { ArrowLeft: -1, ArrowRight: 1, PageDown: -10, PageUp: 10 };
    if (event.key in moves) cursor = Math.max(0, Math.min(starts.length - 1, cursor + moves[event.key]));
    else if (event.key === 'Home') cursor = 0;
    else if (event.key === 'End') cursor = starts.length - 1;
    else if (event.key === 'Enter') chooseColumn(cursor);
    else return;
    event.preventDefault();
    showCursor();
  });

  return {
    update,
    // With no run there is no accuracy or limit to show the strip for.
    hide() {
      ++generation;
      box.hidden = true;
      state = { eps: null, limit: null, complete: false, samples: [] };
    },
    state: () => state,
  };
}
