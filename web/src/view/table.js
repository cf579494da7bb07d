// The table of a run's iterations, the drawing's text alternative: for each step k, x_k, F(x_k),
// F'(x_k) and the step δ_k as the program writes numbers, and on the last row what ended the run.
// A very long run shows its first and last rows and how many lie between. A row chosen shows its
// step on the graph; the whole table copies as tab-separated text.

export const shownRows = 100;  // at most this many at each end

// Why update k of a run could not be made: which value overflowed, and which range it left. F is
// rounded to single precision for the update, and so is the new x; F' stays extended.
export function overflowText(record, k) {
  const step = record.run.steps[k];
  const row = record.texts.rows[k];
  const single = 'больше наибольшего числа одинарной точности (около 3.4·10³⁸): переполнение';
  if (!Number.isFinite(step.f)) return `F = ${row.f}: переполнение`;
  if (!Number.isFinite(Math.fround(step.f))) return `F = ${row.f} ${single}`;
  if (!Number.isFinite(step.df)) return `F′ = ${row.df}: переполнение`;
  return `x − F/F′ ${single}`;
}

// What ended the run, in words. The count the program writes is of the updates that failed the
// accuracy test: one less than the updates made.
export function reasonText(record) {
  const { run, texts } = record;
  if (run.reason === 'accuracy') {
    return `|δ| < ε: точность достигнута, корень ${texts.root}, итераций ${run.count}. «Число итераций» — это ` +
      `обновления, не прошедшие проверку точности: из ${run.steps.length} последнее прошло её и не считается`;
  }
  if (run.reason === 'non-finite') return `${overflowText(record, run.steps.length - 1)}; решение не найдено`;
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

// The table as tab-separated text, for a spreadsheet: a header, then every update's numbers as the
// table writes them.
export function tableText(record) {
  const lines = ['k\tx\tF(x)\tF\'(x)\tδ'];
  record.texts.rows.forEach((r, k) => lines.push([k, r.x, r.f, r.df, deltaText(record, k)].join('\t')));
  return `${lines.join('\n')}\n`;
}

// No step is formed where the update was not finite.
const deltaText = (record, k) => (Number.isFinite(record.run.steps[k].x) ? record.texts.rows[k].delta : '—');

function cell(row, tag, text, attributes = {}) {
  const node = document.createElement(tag);
  node.textContent = text;
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
  row.append(node);
  return node;
}

// The table; a row chosen (click, Enter or Space) calls choose(k).
export function createTable(record, style, choose) {
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
      for (const text of [r.x, r.f, r.df, deltaText(record, k)]) cell(row, 'td', text);
      Object.assign(row, { tabIndex: 0, title: 'Показать этот шаг на графике' });
      row.dataset.step = k;
      const chosen = () => {
        for (const other of body.querySelectorAll('[aria-current]')) other.removeAttribute('aria-current');
        row.setAttribute('aria-current', 'step');
        choose(k);
      };
      row.addEventListener('click', chosen);
      row.addEventListener('keydown', (event) => {
        if (event.key !== 'Enter' && event.key !== ' ') return;
        event.preventDefault();
        chosen();
      });
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
