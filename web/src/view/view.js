// The view of the method beside the console: the graph of F with the steps of the runs shown, the
// strip of where each X0 leads, the convergence plot, their tables, and the list of every finished
// run with a link that reproduces the ticked ones. Its one entry: startView(panel, program) returns
// { iteration, clearRuns(), onRuns(listener) }: the observer the runtime's host.iteration
// takes (begin, update, end), a way to forget the finished runs, and listener(count) called whenever
// the list of runs changes. For tests, every run's numbers are at window.newtonRuns, and
// newtonGraph() and newtonBasin() tell what the view shows.
import { createBasinRunner } from './basin.js';
import { convergencePoints, convergenceText, createConvergence } from './convergence.js';
import { download, fileName, pngOf, svgFile } from './export.js';
import { createGraph, html } from './graph.js';
import { runMarks } from './marks.js';
import { createRunStore, dialoguesOf, linkOf, singleText } from './runs.js';
import { createStrip } from './strip.js';
import { styleOf } from './styles.js';
import { createTable, overflowText, summary, tableText } from './table.js';

function button(text, title, action) {
  const node = html('button', { type: 'button', title }, text);
  if (title !== text) node.setAttribute('aria-label', title);
  node.addEventListener('click', action);
  return node;
}

// program.module(): the program's compiled module, a Promise; program.run(dialogue, observer): runs
// the program on that input with no terminal, telling the observer; a Promise. The strip runs the
// program's module, fetched once.
export function startView(panel, program) {
  const store = createRunStore();
  window.newtonRuns = store.runs;
  const runListeners = [];
  const shown = new Set();  // ids of the runs on the graph, and whose tables are shown
  const paper = (read) => {  // the colours of paper while `read` runs
    panel.classList.add('paper');
    try {
      read();
    } finally {
      panel.classList.remove('paper');
    }
  };

  panel.append(html('h2', { id: 'view-title' }, 'Ход метода'));
  const figure = html('figure', { class: 'view-graph' });
  panel.append(figure);
  const graph = createGraph(figure, { describedBy: 'view-tables' });
  const tools = html('div', { class: 'view-buttons', role: 'group', 'aria-label': 'Масштаб и сдвиг графика' });
  const moves = { in: ['+', 'Приблизить'], out: ['−', 'Отдалить'], left: ['←', 'Влево'], right: ['→', 'Вправо'],
                  up: ['↑', 'Вверх'], down: ['↓', 'Вниз'], steps: ['К шагам', 'К шагам'], whole: ['Весь график', 'Весь график'] };
  for (const [action, [text, title]] of Object.entries(moves)) {
    tools.append(Object.assign(button(text, title, graph.actions[action]), { className: `view-${action}` }));
  }
  const saves = html('div', { class: 'view-buttons view-saves', role: 'group', 'aria-label': 'Сохранить график' });
  saves.append(button('Скачать SVG', 'Скачать SVG', () => save('svg')), button('Скачать PNG', 'Скачать PNG', () => save('png')));
  const legend = html('ul', { class: 'view-legend', 'aria-label': 'Обозначения' });
  const notes = html('ul', { class: 'view-notes', 'aria-live': 'polite' });
  figure.append(tools, legend, notes);

  const strip = createStrip(figure, {
    run: createBasinRunner(program.module),
    choose: (x0, eps, limit) => program.run(`${singleText(x0)} ${singleText(eps)} ${limit}\n`, store.observer),
    x0Text: singleText,
  });
  figure.append(saves);

  const convergenceBox = html('figure', { class: 'view-convergence' });
  const convergenceTitle = html('h3', { id: 'convergence-title' }, 'Сходимость');
  const convergenceNote = html('figcaption', {}, 'log₁₀|δₖ| по шагам k. Вблизи простого корня число верных знаков ' +
                               'примерно удваивается с каждым шагом: значение log₁₀|δₖ| тоже почти удваивается.');
  const convergenceValues = html('p', { id: 'convergence-values', class: 'view-hidden' });
  convergenceBox.append(convergenceTitle);
  const convergence = createConvergence(convergenceBox, 'convergence-values');
  convergenceBox.append(convergenceNote, convergenceValues);
  panel.append(convergenceBox);

  const runsBox = html('section', { class: 'view-runs', 'aria-labelledby': 'view-runs-title' });
  runsBox.append(html('h3', { id: 'view-runs-title' }, 'Запуски'));
  const list = html('ul', { class: 'view-list' });
  const empty = html('p', { class: 'view-empty' }, 'Завершённые запуски появятся здесь; отметьте несколько, чтобы сравнить их на графике.');
  const link = html('a', { class: 'view-link', href: '#', hidden: '' }, 'Ссылка на отмеченные запуски');
  runsBox.append(empty, list, link);
  panel.append(runsBox);
  const tables = html('section', { id: 'view-tables', class: 'view-tables', 'aria-label': 'Таблицы итераций' });
  panel.append(tables);

  const shownRecords = () => store.records.filter((record) => shown.has(record.id));

  function render() {
    const records = shownRecords();
    const drawnRuns = records.map((record) => ({ id: record.id, style: styleOf(record.id), marks: runMarks(record) }));
    graph.show(drawnRuns);
    legend.replaceChildren(...records.map((record) => {
      const item = html('li', { class: `style-${styleOf(record.id)}` });
      item.append(html('span', { class: 'swatch', 'aria-hidden': 'true' }), summary(record));
      return item;
    }));
    notes.replaceChildren(...drawnRuns.flatMap(({ id, marks }) => {
      const record = store.records[id];
      const items = marks.notes.map((note) => html('li', {}, noteText(record, note)));
      if (marks.left > 0) items.push(html('li', {}, `X0 = ${record.texts.x0}: нарисованы первые и последние шаги, ${marks.left} пропущено`));
      return items;
    }));
    const converging = records.map((record) => ({ id: record.id, style: styleOf(record.id), points: convergencePoints(record.run),
                                                  label: `X0 = ${record.texts.x0}` }));
    convergence.show(converging);
    convergenceValues.textContent = convergenceText(converging);
    convergenceBox.hidden = records.length === 0;
    tables.replaceChildren(...records.map(tableBox));
    const ticked = linkOf(records.map((record) => record.run));
    link.hidden = ticked === '';
    link.href = ticked === '' ? '#' : ticked;
    // The address keeps a link's runs until they are made again: a reload before then still has them.
    if (store.records.length > 0) setAddress(ticked);
  }

  function setAddress(hash) {
    if (location.protocol !== 'file:') history.replaceState(null, '', hash === '' ? location.pathname + location.search : hash);
  }

  function tableBox(record) {
    const box = html('div', { class: 'view-table' });
    const said = html('span', { class: 'view-said', 'aria-live': 'polite' });
    const copy = button('Копировать таблицу', 'Копировать таблицу', async () => {
      try {
        await navigator.clipboard.writeText(tableText(record));
        said.textContent = 'Скопировано: вставьте в таблицу или текст.';
      } catch (error) {
        said.textContent = `Не удалось скопировать: ${error.message}`;
      }
    });
    const scroller = html('div', { class: 'view-scroller', tabindex: 0, role: 'region', 'aria-label': `Таблица: ${summary(record)}` });
    scroller.append(createTable(record, styleOf(record.id), (k) => graph.showStep(record.id, k)));
    const hint = html('p', { class: 'view-scroll-hint', hidden: '' }, 'Таблица шире экрана: прокрутите её вбок →');
    box.append(html('div', { class: 'view-buttons' }), scroller, hint);
    box.firstChild.append(copy, said);
    if (typeof ResizeObserver === 'function') {
      new ResizeObserver(() => { hint.hidden = scroller.scrollWidth <= scroller.clientWidth + 1; }).observe(scroller);
    }
    return box;
  }

  function noteText(record, note) {
    const prefix = `X0 = ${record.texts.x0}, шаг ${note.k}:`;
    if (note.what === 'left') return `${prefix} x${sub(note.k + 1)} = ${note.text.next} — за пределами графика`;
    return `${prefix} шаг из x${sub(note.k)} = ${note.text.x} не сделан: ${overflowText(record, note.k)}`;
  }

  async function save(kind) {
    const records = shownRecords();
    const legendRows = records.map((record) => ({ style: styleOf(record.id), text: summary(record) }));
    const text = svgFile(graph.svg, legendRows, paper);
    const name = fileName(records.map((record) => record.texts), kind);
    download(kind === 'svg' ? new Blob([text], { type: 'image/svg+xml' }) : await pngOf(text), name);
  }

  function addToList(record) {
    empty.hidden = true;
    const item = html('li', { class: `style-${styleOf(record.id)}` });
    const label = html('label');
    const box = html('input', { type: 'checkbox' });
    box.checked = shown.has(record.id);
    box.dataset.run = record.id;
    box.addEventListener('change', () => {
      if (box.checked) shown.add(record.id);
      else shown.delete(record.id);
      render();
    });
    label.append(box, html('span', { class: 'swatch', 'aria-hidden': 'true' }), summary(record));
    item.append(label);
    list.append(item);
  }

  const told = () => {
    for (const listener of runListeners) listener(store.records.length);
  };

  // The strip follows the graph's window, with the latest run's accuracy and limit.
  const latest = () => store.records[store.records.length - 1];
  const updateStrip = () => {
    const record = latest();
    if (record === undefined) strip.hide();
    else strip.update(graph.scales().x, graph.area(), record.run.eps, record.run.limit);
  };
  graph.onWindow(updateStrip);

  // A new run is shown alone, unless runs were being compared: then it joins them.
  let replaying = false;
  store.onRun((record) => {
    if (!replaying && shown.size <= 1) {
      shown.clear();
      for (const box of list.querySelectorAll('input')) box.checked = false;
    }
    shown.add(record.id);
    addToList(record);
    render();
    told();
  });

  // The runs a link asks for, made again at once, all shown.
  const dialogues = dialoguesOf(location.hash);
  if (dialogues.length > 0) {
    replaying = true;
    (async () => {
      for (const dialogue of dialogues) await program.run(dialogue, store.observer);
      replaying = false;
    })();
  }
  render();

  window.newtonGraph = () => {
    const { x0, x1, y0, y1 } = graph.view();
    const { width, height } = graph.area();
    return { xmin: x0, xmax: x1, ymin: y0, ymax: y1, width, height };
  };
  window.newtonBasin = () => {
    const { eps, limit, complete, samples } = strip.state();
    return { eps, limit, complete, samples: samples.map((sample) => ({ ...sample })) };
  };

  return {
    iteration: store.observer,
    // Forgets the finished runs: the list, the graph, the tables and the link; a run in progress
    // goes on.
    clearRuns() {
      store.clear();
      shown.clear();
      list.replaceChildren();
      empty.hidden = false;
      render();
      setAddress('');
      told();
    },
    // listener(count) whenever the list of runs changes.
    onRuns(listener) {
      runListeners.push(listener);
    },
  };
}

function sub(k) {
  return String(k).replace(/\d/g, (d) => '₀₁₂₃₄₅₆₇₈₉'[d]);
}
