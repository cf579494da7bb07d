// The table of a run's iterations, the drawing's text alternative: for each step k, x_k, F(x_k),
// F'(x_k) and the step δ_k as the program writes numbers, and on the last row what ended the run.
// A very long run shows its first and last rows and how many lie between.

export const shownRows = 100;  // at most this many at each end

// What ended the run, in words.
export function reasonText(record) {
  const { run, texts } = record;
  if (run.reason === 'accuracy') return `|δ| < ε: точность достигнута, корень ${texts.root}, итераций ${run.count}`;
  if (run.reason === 'non-finite') return 'F, F′ или следующее x вышли за пределы конечных чисел: решение не найдено';
  if (run.steps.length === 0) return 'предел итераций 0: шагов нет, решение не найдено';
  if (record.cycle) {
    const last = texts.rows[texts.rows.length - 1].next;
    return `x повторился (${last}): такой цикл исчерпал бы предел в ${texts.limit} итераций, решение не найдено`;
  }
  return `предел в ${texts.limit} итераций исчерпан: решение не найдено`;
}

// One line about a run, as the list and the table's caption give it.
export function summary(record) {
  const { run, texts } = record;
  const result = run.outcome === 'root' ? `корень ${texts.root}, итераций ${run.count}` : 'Решение не найдено';
  return `X0 = ${texts.x0}, точность ${texts.eps}, предел ${texts.limit} → ${result}`;
}

// The rows shown: [k, row] pairs, with null where rows were left out.
export function rowsShown(count) {
  const all = [...Array(count).keys()];
  if (count <= 3 * shownRows) return all;
  return [...all.slice(0, shownRows), null, ...all.slice(count - shownRows)];
}

function cell(row, tag, text, attributes = {}) {
  const node = document.createElement(tag);
  node.textContent = text;
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
  row.append(node);
  return node;
}

export function createTable(record, style) {
  const { texts } = record;
  const table = document.createElement('table');
  table.className = `steps style-${style}`;
  table.dataset.run = record.id;
  cell(table, 'caption', summary(record));
  const head = document.createElement('thead');
  const titles = cell(head, 'tr', '');
  for (const title of ['k', 'xₖ', 'F(xₖ)', 'F′(xₖ)', 'δₖ = xₖ₊₁ − xₖ']) cell(titles, 'th', title, { scope: 'col' });
  table.append(head);
  const body = document.createElement('tbody');
  const rows = rowsShown(texts.rows.length);
  for (const k of rows) {
    const row = document.createElement('tr');
    if (k === null) {
      cell(row, 'td', `… ещё ${texts.rows.length - 2 * shownRows} шагов …`, { colspan: 5, class: 'gap' });
    } else {
      const r = texts.rows[k];
      cell(row, 'th', String(k), { scope: 'row' });
      // No step is formed where the update was not finite.
      const delta = Number.isFinite(record.run.steps[k].x) ? r.delta : '—';
      for (const text of [r.x, r.f, r.df, delta]) cell(row, 'td', text);
    }
    body.append(row);
  }
  const last = document.createElement('tr');
  last.className = 'end';
  cell(last, 'td', reasonText(record), { colspan: 5 });
  body.append(last);
  table.append(body);
  return table;
}
