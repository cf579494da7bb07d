// The view of the method beside the console: the graph of F with the steps of the runs shown, their
// tables, the list of every finished run with a link that reproduces them all. Its one entry:
// startView(panel, program) returns { iteration, clearRuns(), onRuns(listener) }: the observer the
// runtime's host.iteration takes, a way to forget the finished runs, and listener(count) called
// whenever the list changes; every run's numbers are at window.newtonRuns.
import { createGraph } from './graph.js';
import { runMarks } from './marks.js';
import { createRunStore, dialoguesOf, linkOf } from './runs.js';
import { createTable, summary } from './table.js';

const styles = 5;  // colours, each with its dash and marker

function html(tag, attributes = {}, text = '') {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
  if (text !== '') node.textContent = text;
  return node;
}

// program.run(dialogue, observer): runs the program on that input with no terminal, telling the
// observer; a Promise. Used for the runs a link asks for.
export function startView(panel, program) {
  const store = createRunStore();
  window.newtonRuns = store.runs;
  const shown = new Set();  // ids of the runs on the graph, and whose tables are shown
  const runListeners = [];

  panel.append(html('h2', { id: 'view-title' }, 'Ход метода'));
  const figure = html('figure', { class: 'view-graph' });
  panel.append(figure);
  const graph = createGraph(figure, { describedBy: 'view-tables' });
  const buttons = html('div', { class: 'view-buttons', role: 'group', 'aria-label': 'Масштаб и сдвиг графика' });
  const labels = { in: ['+', 'Приблизить'], out: ['−', 'Отдалить'], left: ['←', 'Влево'], right: ['→', 'Вправо'],
                   up: ['↑', 'Вверх'], down: ['↓', 'Вниз'], reset: ['Сбросить', 'Показать все шаги'] };
  for (const [action, [text, title]] of Object.entries(labels)) {
    const button = html('button', { type: 'button', 'aria-label': title, title, 'data-action': action }, text);
    button.addEventListener('click', graph.actions[action]);
    buttons.append(button);
  }
  figure.append(buttons);
  const legend = html('ul', { class: 'view-legend', 'aria-label': 'Обозначения' });
  const notes = html('ul', { class: 'view-notes', 'aria-live': 'polite' });
  figure.append(legend, notes);

  const runsBox = html('section', { class: 'view-runs', 'aria-labelledby': 'view-runs-title' });
  runsBox.append(html('h3', { id: 'view-runs-title' }, 'Запуски'));
  const list = html('ul', { class: 'view-list' });
  const empty = html('p', { class: 'view-empty' }, 'Завершённые запуски появятся здесь; отметьте несколько, чтобы сравнить их на графике.');
  const link = html('a', { class: 'view-link', href: '#', hidden: '' }, 'Ссылка на эти запуски');
  runsBox.append(empty, list, link);
  panel.append(runsBox);
  const tables = html('section', { id: 'view-tables', class: 'view-tables', 'aria-label': 'Таблицы итераций' });
  panel.append(tables);

  const styleOf = (record) => record.id % styles;

  function render() {
    const records = store.records.filter((record) => shown.has(record.id));
    const runs = records.map((record) => ({ id: record.id, style: styleOf(record), marks: runMarks(record) }));
    graph.show(runs);
    legend.replaceChildren(...records.map((record) => {
      const item = html('li', { class: `style-${styleOf(record)}` });
      item.append(html('span', { class: 'swatch', 'aria-hidden': 'true' }), summary(record));
      return item;
    }));
    notes.replaceChildren(...runs.flatMap(({ id, marks }) => {
      const record = store.records[id];
      const items = marks.notes.map((note) => html('li', {}, noteText(record, note)));
      if (marks.left > 0) items.push(html('li', {}, `X0 = ${record.texts.x0}: нарисованы первые и последние шаги, ${marks.left} пропущено`));
      return items;
    }));
    tables.replaceChildren(...records.map((record) => createTable(record, styleOf(record))));
  }

  function noteText(record, note) {
    const row = note.text;
    const prefix = `X0 = ${record.texts.x0}, шаг ${note.k}:`;
    if (note.what === 'left') return `${prefix} x${sub(note.k + 1)} = ${row.next} — за пределами графика`;
    return `${prefix} шаг из x${sub(note.k)} = ${row.x} не сделан: F = ${row.f}, F′ = ${row.df}, значения вышли за пределы конечных чисел`;
  }

  function addToList(record) {
    empty.hidden = true;
    const item = html('li', { class: `style-${styleOf(record)}` });
    const label = html('label');
    const box = html('input', { type: 'checkbox' });
    box.checked = shown.has(record.id);
    box.addEventListener('change', () => {
      if (box.checked) shown.add(record.id);
      else shown.delete(record.id);
      render();
    });
    label.append(box, html('span', { class: 'swatch', 'aria-hidden': 'true' }), summary(record));
    item.append(label);
    list.append(item);
    told();
    link.hidden = false;
    link.href = linkOf(store.runs);
    if (location.protocol !== 'file:') history.replaceState(null, '', link.href);
  }

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

  function told() {
    for (const listener of runListeners) listener(store.records.length);
  }
  // Forgets the finished runs: the list, the graph, the tables and the link.
  function clearRuns() {
    store.clear();
    shown.clear();
    list.replaceChildren();
    empty.hidden = false;
    link.hidden = true;
    link.href = '#';
    if (location.protocol !== 'file:' && location.hash !== '') history.replaceState(null, '', location.pathname + location.search);
    render();
    told();
  }
  return {
    iteration: store.observer,
    clearRuns,
    onRuns(listener) {
      runListeners.push(listener);
    },
  };
}

function sub(k) {
  return String(k).replace(/\d/g, (d) => '₀₁₂₃₄₅₆₇₈₉'[d]);
}
