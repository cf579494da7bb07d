// The page, as students use it, in three engines: rows of one table, each run in every engine it
// names. The dialogues of the suite (the inputs of tests/program_test.cpp) are pasted into the
// console and must show what a Linux terminal shows for the native program; the rows after them
// try the clipboard keys, the keyboard's way through the page, line editing, a phone's width, the
// touch keys, loading and a slow link, offline use and the key wait's edges. A row an engine cannot
// run says why where it is left out. The slow-link, offline and loading rows need Chromium's
// DevTools protocol. Measurements (sizes, times) are printed, not asserted, but for the transfer
// budget.
// Usage: node page-test.js <site directory> <native program> [engine...]
'use strict';
const assert = require('node:assert');
const { suiteInputs } = require('./inputs.js');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');
const url = require('node:url');
const { engines } = require('./engines.js');

const [site, native, ...chosen] = process.argv.slice(2);
const greeting = 'Программа демонстрирует решение нелинейного уравнения методом Ньютона';
const firstPrompt = 'Введите начальное приближение X0: ';
const keyPrompt = 'Нажмите любую клавишу';
const result = 'Корень = 0.299733 F(0.299733)=7.18151e-09';
const transferBudget = 150000;

// Serves the site as a static host that sends the .br or .gz copies does (only the .gz ones where
// encodings says so); bytes counts the bodies sent.
function serve(root, encodings = ['br', 'gzip']) {
  const types = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css',
                  '.wasm': 'application/wasm', '.webmanifest': 'application/manifest+json',
                  '.svg': 'image/svg+xml', '.png': 'image/png', '.woff2': 'font/woff2' };
  const server = http.createServer((request, response) => {
    const wanted = new URL(request.url, 'http://page').pathname.replace(/\/$/, '/index.html');
    const file = path.join(root, wanted);
    const accepted = request.headers['accept-encoding'] ?? '';
    const encoding = [['br', '.br'], ['gzip', '.gz']].find(([name, suffix]) =>
      encodings.includes(name) && accepted.includes(name) && fs.existsSync(file + suffix));
    fs.readFile(encoding ? file + encoding[1] : file, (error, body) => {
      const headers = { 'Content-Type': types[path.extname(file)] ?? 'text/plain' };
      if (encoding && !error) headers['Content-Encoding'] = encoding[0];
      response.writeHead(error ? 404 : 200, headers);
      response.end(error ? '' : body);
      if (!error) server.sent.push([wanted, body.length]);
    });
  });
  server.sent = [];
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// What the console shows for the native program's run: its text, with the echo of the input's
// lines after the first prompt, where the paste arrives; the rest of the paste after its last line
// end stays in the line being typed, at the end of the console, until Ctrl+D gives it to the
// program (Ctrl+D echoes nothing). Where that is, the module under node tells: what the program has
// written when it first reads past the input's lines (its bytes are the native program's, which
// piped-runs.js checks).
async function expectedStream(input) {
  const run = spawnSync('sh', ['-c', 'exec "$0" 2>&1', native],
                        { input, detached: true, env: { ...process.env, LC_ALL: 'C.UTF-8' } });
  const text = run.stdout.toString('utf8');
  const lines = input.slice(0, input.lastIndexOf('\n') + 1);
  const rest = input.slice(lines.length);
  const { runProgram } = await import('../src/runtime.js');
  const module = await WebAssembly.compile(fs.readFileSync(path.join(site, 'newton.wasm')));
  const written = [];
  const given = [Buffer.from(lines), Buffer.from(rest)];
  let restAt = null;
  await runProgram(module, {
    read(capacity) {
      while (given.length > 0 && given[0].length === 0) given.shift();
      if (given.length === 1 && restAt === null) restAt = Buffer.concat(written).toString('utf8').length;
      if (given.length === 0) return null;
      const piece = given[0].subarray(0, capacity);
      given[0] = given[0].subarray(piece.length);
      return piece;
    },
    write(fd, bytes) {
      written.push(Buffer.from(bytes));
    },
    readKey: () => null,
  });
  assert.strictEqual(Buffer.concat(written).toString('utf8'), text, 'the module\'s text');
  const split = text.indexOf(firstPrompt) + firstPrompt.length;
  const at = restAt ?? text.length;
  return text.slice(0, split) + lines + text.slice(split, at) + rest + text.slice(at);
}

// What the native build's observer is told of a dialogue's run (tests/observed_steps): the table's
// rows as the view should write them, and each update's x and δ and the result's x as bits.
function nativeSteps(input) {
  const run = spawnSync(path.join(path.dirname(native), 'tests', 'observed_steps'), [], { input: `${input}\0` });
  const rows = [];
  const bits = [];
  for (const line of run.stdout.toString('utf8').trim().split('\n')) {
    const [kind, ...fields] = line.split(' ');
    const texts = fields.slice(fields.indexOf('|') + 1);
    if (kind === 'update') {
      const formed = !/NAN|INF/.test(texts[1]);
      rows.push([String(rows.length), texts[0], texts[2], texts[3], formed ? texts[4] : '—']);
      bits.push([fields[1], fields[4]]);
    }
    if (kind === 'end') bits.push(fields[0] === '0' ? fields[1] : null);
  }
  return { rows, bits };
}

// The view as the page shows it: every listed run's numbers, with x and δ of each step and the root
// as bits, its table's rows (null where it is not shown) and the tangents drawn for it; the notes
// under the graph and the legend.
const viewState = `(() => {
  const hex = (value, size) => {
    const view = new DataView(new ArrayBuffer(8));
    if (size === 4) view.setFloat32(0, value);
    else view.setFloat64(0, value);
    return [...new Uint8Array(view.buffer, 0, size)].map((b) => b.toString(16).padStart(2, '0')).join('');
  };
  const runs = window.newtonRuns.map((run, id) => {
    const table = document.querySelector('#view table[data-run="' + id + '"]');
    const group = document.querySelector('#view g[data-run="' + id + '"]');
    return {
      outcome: run.outcome, reason: run.reason, count: run.count, limit: run.limit,
      x0: hex(run.x0, 4), eps: hex(run.eps, 4), steps: run.steps.length,
      bits: [...run.steps.map((s) => [hex(s.x, 4), hex(s.delta, 8)]), run.root === null ? null : hex(run.root, 4)],
      rows: table && [...table.tBodies[0].rows].map((row) => [...row.cells].map((cell) => cell.textContent)),
      tangents: group ? group.querySelectorAll('.tangent').length : 0,
      look: group && [getComputedStyle(group.querySelector('.tangent')).stroke,
                      getComputedStyle(group.querySelector('.tangent')).strokeDasharray,
                      group.querySelector('.point')?.dataset.marker],
    };
  });
  const lines = [...document.querySelectorAll('#view .graph line')].flatMap((l) =>
    ['x1', 'y1', 'x2', 'y2'].map((a) => Number(l.getAttribute(a))));
  return { runs, notes: [...document.querySelectorAll('#view .view-notes li')].map((li) => li.textContent),
           legend: document.querySelectorAll('#view .view-legend li').length,
           link: document.querySelector('#view .view-link').getAttribute('href'),
           farthest: Math.max(...lines.map(Math.abs)) };
})()`;

// The drawing of the view: its window, where the first point of the last run and the x axis are
// drawn, the x ticks' labels and the step marked.
const viewDrawing = `(() => {
  const graph = document.querySelector('#view .graph');
  const point = [...graph.querySelectorAll('.run')].pop()?.querySelector('.point[data-step="0"]');
  return {
    window: window.newtonGraph(),
    firstPoint: point && point.getBBox().y + point.getBBox().height / 2,
    xAxis: Number(graph.querySelector('.x-axis')?.getAttribute('y1')),
    xTicks: [...graph.querySelectorAll('.axes text.tick[text-anchor="middle"]')].map((t) => t.textContent),
    chosen: graph.querySelector('.tangent.chosen')?.dataset.step,
  };
})()`;

// Runs a dialogue to its key wait and returns the view's run of it, checked against the native
// build's numbers.
async function viewedRun(page, input) {
  await page.toKeyWait(`${input}\n`, input);
  const view = await page.evaluate(viewState);
  const run = view.runs[view.runs.length - 1];
  const native = nativeSteps(input);
  assert.deepStrictEqual(run.bits, native.bits, `${input}: x, δ and the root as the native build's`);
  assert.deepStrictEqual(run.rows.slice(0, -1), native.rows, `${input}: the table's rows`);
  return { view, run };
}

// Helpers on one engine's page.
function on(browser) {
  const evaluate = (expression) => browser.evaluate(expression);
  // The program's state; once it has greeted, only when the view (loaded after the greeting) is there.
  const program = () => evaluate(`document.body.dataset.program === 'loading' || document.body.dataset.program === 'failed' ||
    window.newtonRuns ? document.body.dataset.program : 'view loading'`);
  async function settled(states, what = '') {
    const deadline = Date.now() + 20000;
    for (;;) {
      const state = await program().catch(() => undefined);
      if (states.includes(state)) return state;
      if (Date.now() > deadline) throw new Error(`${what}: the page stayed ${state}, not ${states}`);
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
  }
  const screen = () => evaluate('window.newtonScreen()');
  // The text of the run in progress: after the last separating line.
  const run = async () => (await screen()).split(/──── Запуск \d+ ────\n/).pop();
  const paste = (text) => evaluate(`window.newtonPaste(${JSON.stringify(text)})`);
  const focused = () => evaluate('document.activeElement.id || document.activeElement.textContent');
  // Runs a dialogue to its key wait: the input pasted, then Ctrl+D while the program still reads.
  async function toKeyWait(input, label) {
    await paste(input);
    for (;;) {
      if (await settled(['reading', 'key', 'ended'], label) !== 'reading') break;
      await browser.press('Control+d');
    }
    assert.strictEqual(await program(), 'key', label);
  }
  async function rerun(label) {
    await browser.press('Enter');
    await settled(['reading'], label);
  }
  // From the key wait: a key ends the run, Enter starts the next.
  async function endAndRerun(label) {
    await browser.press('Enter');
    await settled(['ended'], label);
    await rerun(label);
  }
  return { evaluate, program, settled, screen, run, paste, focused, toKeyWait, rerun, endAndRerun };
}

// Every row: what it checks, the engines it runs in (all three where none are named), and its steps,
// which start on the page at its first prompt and leave it at a first prompt.
const rows = [
  {
    name: 'the suite\'s dialogues give the native program\'s text; any key ends the wait; Enter runs again below',
    async run(browser, page) {
      const keys = ['q', 'Enter', 'Escape', 'F1', 'ArrowUp', 'Control+c', 'Alt+x', 'Space'];
      for (const [index, input] of suiteInputs().entries()) {
        const label = `input ${JSON.stringify(input)}`;
        await page.toKeyWait(input, label);
        assert.strictEqual(await page.run(), (await expectedStream(input)).replace(/\n$/, ''), label);
        if (index === 0) {
          await browser.press('Shift');
          await new Promise((resolve) => setTimeout(resolve, 100));
          assert.strictEqual(await page.program(), 'key', 'Shift alone');
        }
        await browser.press(keys[index % keys.length]);
        await page.settled(['ended'], label);
        assert.match(await page.run(), /\n\nПрограмма завершена\.\n.*Запустить снова/, label);
        const before = await page.screen();
        await page.rerun(label);
        const after = await page.screen();
        assert.ok(after.startsWith(`${before}\n──── Запуск `), `${label}: the earlier runs stay`);
        assert.match(after.slice(before.length), new RegExp(`^\n──── Запуск \\d+ ────\n${greeting}\n${firstPrompt}$`),
                     `${label}: a new run below`);
      }
    },
  },
  {
    name: 'Ctrl+C with a selection copies and the run goes on; Ctrl+V, Ctrl+Shift+V, Shift+Insert paste',
    // Headless Firefox and WebKitGTK's WebDriver have no clipboard that their key presses reach.
    engines: ['chromium'],
    async run(browser, page) {
      const selectGreeting = (end = 9) => page.evaluate(`(() => {
        const text = document.createTreeWalker(document.getElementById('transcript'), NodeFilter.SHOW_TEXT).nextNode();
        getSelection().setBaseAndExtent(text, 0, text, ${end});
      })()`);
      await selectGreeting();
      await browser.press('Control+c');
      assert.strictEqual(await page.program(), 'reading', 'Ctrl+C on a selection does not interrupt');
      await page.evaluate("document.getElementById('line').focus()");
      for (const keys of ['Control+v', 'Control+Shift+v', 'Shift+Insert']) {
        await page.evaluate("document.getElementById('line').value = ''");
        await browser.press(keys);
        assert.strictEqual(await page.evaluate("document.getElementById('line').value"), 'Программа', keys);
      }
      // Ctrl+Shift+C copies a selection wherever the focus is.
      await page.evaluate('document.activeElement.blur()');
      await selectGreeting(5);
      await browser.press('Control+Shift+c');
      await page.evaluate("(() => { const l = document.getElementById('line'); l.value = ''; l.focus(); })()");
      await browser.press('Control+v');
      assert.strictEqual(await page.evaluate("document.getElementById('line').value"), 'Прогр', 'Ctrl+Shift+C');
      await page.evaluate("(() => { const l = document.getElementById('line'); l.value = ''; l.select(); })()");
      await page.evaluate('navigator.clipboard.writeText("0\\n0.001\\n100\\n")');
      await browser.press('Control+v');
      await page.settled(['key'], 'a pasted dialogue');
      assert.match(await page.run(), new RegExp(`X0: 0\\n0.001\\n100\\n.*${result.replace(/[()=.+]/g, '\\$&')}`));
      await selectGreeting();
      await browser.press('Control+c');
      assert.strictEqual(await page.program(), 'key', 'Ctrl+C on a selection during the key wait');
      // During the key wait a paste is a key press, and nothing of it is left for the line.
      await browser.press('Control+v');
      await page.settled(['ended'], 'a paste as the key');
      assert.match(await page.run(), /клавишу\n\nПрограмма завершена\.\n[^\n]*ещё раз\.$/);
      await page.rerun('after the paste');
    },
  },
  {
    name: 'Ctrl+C with nothing selected interrupts the run',
    async run(browser, page) {
      await page.evaluate(`(() => {
        getSelection().removeAllRanges();
        const line = document.getElementById('line');
        line.blur();
        line.focus();
      })()`);
      await browser.type('12');
      await browser.press('Control+c');
      await page.settled(['ended'], 'Ctrl+C');
      assert.match(await page.run(), /X0: 12\^C\n\nПрограмма прервана\./);
      await page.rerun('after Ctrl+C');
    },
  },
  {
    name: 'Tab leaves the console and Shift+Tab comes back; «Запустить снова» by Space gives the console the focus',
    async run(browser, page) {
      assert.strictEqual(await page.focused(), 'line');
      await browser.press('Tab');
      assert.notStrictEqual(await page.focused(), 'line', 'Tab');  // to «Очистить», or the view
      await browser.press('Shift+Tab');
      assert.strictEqual(await page.focused(), 'line', 'Shift+Tab');
      await page.toKeyWait('0 0.001 100\n', 'to the key wait');
      await browser.press('Enter');
      await page.settled(['ended']);
      await browser.press('Tab');
      assert.strictEqual(await page.focused(), 'rerun', 'Tab to «Запустить снова»');
      // Firefox over WebDriver BiDi runs no default action of a key press sent to a button: there
      // the button is clicked.
      if (browser.name === 'firefox') await page.evaluate('document.activeElement.click()');
      else await browser.press('Space');
      await page.settled(['reading'], 'Space on «Запустить снова»');
      assert.strictEqual(await page.focused(), 'line', 'the console has the focus again');
      await browser.type('1 2 3');
      await browser.press('Enter');
      await page.settled(['key'], 'typing reaches the new run');
      await page.endAndRerun('after the keyboard row');
    },
  },
  {
    name: 'Backspace, Ctrl+U and Ctrl+W: the program gets what the line shows',
    async run(browser, page) {
      await browser.type('100');
      for (let i = 0; i < 3; ++i) await browser.press('Backspace');
      await browser.type('2 junk');
      await browser.press('Control+w');
      await browser.press('Enter');
      await browser.type('0.5 wrong');
      await browser.press('Control+u');
      await browser.type('0.001 100');
      await browser.press('Enter');
      await page.settled(['key'], 'line editing');
      assert.match(await page.run(), /X0: 2 \nВведите точность расчета: 0\.001 100\n/);
      const native = await expectedStream('2 \n0.001 100\n');
      assert.ok(native.includes('Корень'));
      assert.ok((await page.run()).endsWith(native.split('\n').slice(-2).join('\n').replace(/\n$/, '')));
      await page.endAndRerun('after line editing');
    },
  },
  {
    name: 'the key wait: a paste longer than the program\'s buffer ends it once; so does text typed ahead',
    async run(browser, page) {
      await page.toKeyWait('0 0.001 100\n', 'a paste as the key');
      await page.paste('x'.repeat(1 << 20));
      await page.settled(['ended'], 'a paste as the key');
      assert.match(await page.run(), /Нажмите любую клавишу\n\nПрограмма завершена\./);
      await page.rerun('after a long paste');
      assert.strictEqual(await page.run(), `${greeting}\n${firstPrompt}`, 'nothing of the paste is left');
      // Typed ahead: the line not yet given is taken by the key wait.
      await page.paste('0 0.001 100\nq');
      await page.settled(['ended'], 'typed ahead');
      assert.match(await page.run(), /X0: 0 0\.001 100\n.*Нажмите любую клавишуq\n\nПрограмма завершена/s);
      await page.rerun('after typing ahead');
    },
  },
  {
    name: 'at 360 px a result line is one row, no number is split, the text is 13 px or more',
    // WebKitGTK's MiniBrowser keeps its page at least 447 px wide, whatever size WebDriver asks for.
    engines: ['chromium', 'firefox'],
    async run(browser, page) {
      await browser.viewport(360, 740);
      for (const line of ['0', '0.001', '100']) {  // each at its prompt, as a student types them
        await page.settled(['reading'], 'a phone');
        await browser.type(line);
        await browser.press('Enter');
      }
      await page.settled(['key'], 'a phone');
      await browser.press('Enter');
      await page.settled(['ended'], 'a phone');
      // Then, while no program runs, lines that put a number at every place of a row.
      await page.paste([...Array(45).keys()].map((k) =>
        `${'x'.repeat(k).replace(/x{8}/g, '$& ')} 7.18151e-09 F(0.299733)=-1.5e-3\n`).join('') + `${'9'.repeat(60)}\n`);
      const layout = await page.evaluate(`(() => {
        const rows = (first, last = first) => {
          const range = document.createRange();
          range.setStart(document.createTreeWalker(first, NodeFilter.SHOW_TEXT).nextNode(), 0);
          range.setEndAfter(last);
          const bottoms = [...range.getClientRects()].map((r) => r.bottom);
          const row = parseFloat(getComputedStyle(document.getElementById('console')).lineHeight);
          return 1 + Math.round((Math.max(...bottoms) - Math.min(...bottoms)) / row);
        };
        const numbers = [...document.querySelectorAll('#transcript .number')];
        const start = [...document.querySelectorAll('#transcript span')].findLast((s) => s.textContent.startsWith('Корень'));
        return { split: [...new Set(numbers.filter((n) => n.textContent.length < 41 && rows(n) > 1).map((n) => n.textContent))],
                 resultRows: rows(start, numbers.find((n) => n.textContent.endsWith('e-09') &&
                                                          start.compareDocumentPosition(n) & Node.DOCUMENT_POSITION_FOLLOWING)),
                 size: parseFloat(getComputedStyle(document.getElementById('console')).fontSize),
                 overflow: Math.max(0, document.documentElement.scrollWidth - innerWidth), width: innerWidth };
      })()`);
      assert.deepStrictEqual(layout, { split: [], resultRows: 1, size: layout.size, overflow: 0, width: 360 });
      assert.ok(layout.size >= 13, `font size ${layout.size}`);
      // The console follows the reader's font size.
      const doubled = await page.evaluate(`(() => { document.documentElement.style.fontSize = '200%';
        const size = parseFloat(getComputedStyle(document.getElementById('console')).fontSize);
        document.documentElement.style.fontSize = ''; return size; })()`);
      assert.ok(doubled >= 2 * layout.size, `${doubled} px at twice the font size`);
      await page.rerun('at 360 px');
      await browser.viewport(1000, 700);
    },
  },
  {
    name: 'the view: after 0 0.001 100 the table has the run\'s rows and the drawing its tangents, in a window fitted to the steps; a row zooms to its step',
    async run(browser, page) {
      const { run } = await viewedRun(page, '0 0.001 100');
      assert.deepStrictEqual([run.outcome, run.reason, run.count, run.tangents], ['root', 'accuracy', 3, 4]);
      assert.match(run.rows[run.rows.length - 1][0], /точность достигнута, корень 0\.299733, итераций 3/);
      assert.ok(await page.evaluate(`[...document.querySelectorAll('#transcript .run:last-child > span')].some((s) =>
        s.textContent.includes('${result}'))`), 'the result line reaches the log as one addition');
      const fitted = await page.evaluate(viewDrawing);
      assert.ok(fitted.window.xmin > -0.05 && fitted.window.xmax < 0.36, JSON.stringify(fitted.window));
      assert.ok(fitted.firstPoint < fitted.xAxis, `F(0) = 0.5 drawn at ${fitted.firstPoint}, the x axis at ${fitted.xAxis}`);
      assert.ok(fitted.xTicks.length >= 3 && fitted.xTicks.every((t) => /^-?\d+(\.\d+)?$/.test(t)), fitted.xTicks.join(' '));
      // Enter on the row of step 2: x₂ and x₃ at least a quarter of the window apart, the step marked.
      await page.evaluate("document.querySelector('#view table.steps tr[data-step=\"2\"]').focus()");
      await browser.press('Enter');
      const step = await page.evaluate(viewDrawing);
      const [x2, x3] = [0.298093766, 0.299731195];
      assert.ok(x3 - x2 >= (step.window.xmax - step.window.xmin) / 4 && x2 > step.window.xmin && x3 < step.window.xmax,
                JSON.stringify(step.window));
      assert.strictEqual(step.chosen, '2');
      // During the key wait Tab moves the focus; a key on a checkbox of the runs list is the key.
      await browser.press('Tab');
      assert.strictEqual(await page.program(), 'key', 'Tab');
      const box = "document.querySelector('#view .view-list li:last-child input')";
      await page.evaluate(`${box}.focus()`);
      await browser.press('Space');
      await page.settled(['ended'], 'Space on a checkbox');
      assert.strictEqual(await page.evaluate(`${box}.checked`), true, 'the checkbox stays ticked');
      await page.evaluate("document.getElementById('line').focus()");
      await page.rerun('the view');
    },
  },
  {
    name: 'the view: 1.32 1e-6 50 and 1.33 1e-6 50 overlaid, in colours, dashes and markers of their own',
    async run(browser, page) {
      await viewedRun(page, '1.32 1e-6 50');
      await page.endAndRerun('1.32');
      await viewedRun(page, '1.33 1e-6 50');
      await page.evaluate(`(() => {
        const boxes = [...document.querySelectorAll('#view .view-list input')].slice(-2);
        for (const box of boxes) if (!box.checked) box.click();
      })()`);
      const view = await page.evaluate(viewState);
      const [left, right] = view.runs.slice(-2);
      assert.deepStrictEqual([left.reason, right.reason, right.count], ['non-finite', 'accuracy', 11]);
      assert.ok(left.rows && right.rows && left.tangents > 0 && right.tangents > 0, 'both drawn, both tables');
      assert.strictEqual(view.legend, 2);
      assert.ok(left.look.every((part, i) => part !== right.look[i]), `${left.look} / ${right.look}`);
      assert.ok(view.notes.some((note) => /F = 3\.00639e\+42 больше наибольшего числа одинарной точности \(около 3\.4·10³⁸\)/.test(note)),
                view.notes.join('\n'));
      // The link carries the ticked runs alone.
      assert.strictEqual(view.link, '#runs=1.32,0.000001,50;1.33,0.000001,50');
      await page.evaluate("[...document.querySelectorAll('#view .view-list input')].at(-2).click()");
      assert.strictEqual((await page.evaluate(viewState)).link, '#runs=1.33,0.000001,50');
      await page.endAndRerun('overlaid');
    },
  },
  {
    name: 'the view: 1.3267 1e30 100 leaves the view with a note, and the picture stays whole; keys (and in Chromium the wheel and a drag) zoom and pan it',
    async run(browser, page) {
      const { view, run } = await viewedRun(page, '1.3267 1e30 100');
      assert.deepStrictEqual([run.outcome, run.count], ['root', 0]);
      assert.ok(view.notes.some((note) => /x₁ = -26857\.8 — за пределами графика/.test(note)), view.notes.join('\n'));
      assert.ok(view.farthest < 5000, `a line drawn out to ${view.farthest}`);
      // The keys of the focused graph zoom and pan it, and «Сбросить» brings back the window.
      const ticks = () => page.evaluate("[...document.querySelectorAll('#view .graph .axes text')].map((t) => t.textContent).join(' ')");
      const home = await ticks();
      const span = async () => {
        const { xmin, xmax } = await page.evaluate('window.newtonGraph()');
        return { xmin, width: xmax - xmin };
      };
      await page.evaluate("document.querySelector('#view .graph').focus()");
      for (const [key, moved] of [['-', (a, b) => b.width > a.width * 1.4], ['ArrowLeft', (a, b) => b.xmin < a.xmin]]) {
        const before = await span();
        await browser.press(key);
        assert.ok(moved(before, await span()), key);
      }
      if (browser.name === 'chromium') {  // the wheel and a drag, through playwright's mouse
        const box = await browser.page.locator('#view .graph').boundingBox();
        await browser.page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
        // A wheel turn away from the reader zooms in; a drag to the left brings in what lies right.
        for (const [move, moved] of [[() => browser.page.mouse.wheel(0, -200), (a, b) => b.width < a.width], [async () => {
          await browser.page.mouse.down();
          await browser.page.mouse.move(box.x + box.width / 4, box.y + box.height / 3, { steps: 5 });
          await browser.page.mouse.up();
        }, (a, b) => b.xmin > a.xmin]]) {
          const before = await span();
          await move();
          assert.ok(moved(before, await span()), 'the wheel, a drag');
        }
      }
      assert.strictEqual(await page.program(), 'key', 'the graph\'s keys are no key press to the program');
      await page.evaluate("document.querySelector('#view .view-steps').click()");
      assert.strictEqual(await ticks(), home, '«К шагам»');
      await page.evaluate("document.querySelector('#view .view-whole').click()");
      const whole = await page.evaluate('window.newtonGraph()');
      assert.ok(whole.xmin <= -1.4 && whole.xmax >= 4.4 && whole.ymin < -0.62, '«Весь график»');
      await page.evaluate("document.getElementById('line').focus()");
      await page.endAndRerun('1.3267');
    },
  },
  {
    name: 'the view: 0 0 4294967295 stays responsive; its table ends where x repeats',
    async run(browser, page) {
      const start = Date.now();
      const { run } = await viewedRun(page, '0 0 4294967295');
      console.log(`0 0 4294967295: the key wait and the view after ${Date.now() - start} ms`);
      assert.deepStrictEqual([run.reason, run.steps, run.limit], ['limit', 5, 4294967295]);
      assert.match(run.rows[run.rows.length - 1][0], /x повторился \(0\.299733\): такой цикл исчерпал бы предел в 4294967295/);
      await page.endAndRerun('the largest limit');
    },
  },
  {
    name: 'the view: the strip has one X0 per column, in order, for the run\'s accuracy and limit; a column chosen by the keys runs from it',
    async run(browser, page) {
      await viewedRun(page, '1.33 1e-6 50');
      const deadline = Date.now() + 20000;
      let basin;
      while (!(basin = await page.evaluate('window.newtonBasin()')).complete && Date.now() < deadline) {
        await new Promise((resolve) => setTimeout(resolve, 50));
      }
      const graph = await page.evaluate('window.newtonGraph()');
      assert.ok(basin.complete, 'the strip is complete');
      assert.deepStrictEqual([basin.samples.length, basin.eps, basin.limit], [Math.floor(graph.width), Math.fround(1e-6), 50]);
      const x0s = basin.samples.map((sample) => sample.x0);
      assert.ok(x0s[0] > graph.xmin && x0s.at(-1) < graph.xmax && x0s.every((x, i) => i === 0 || x > x0s[i - 1]), 'in order');
      const runs = await page.evaluate('window.newtonRuns.length');
      await page.evaluate("document.querySelector('#view .strip canvas').focus()");
      for (const key of ['ArrowRight', 'ArrowRight', 'Enter']) await browser.press(key);  // from the first column
      while (await page.evaluate('window.newtonRuns.length') === runs && Date.now() < deadline) {
        await new Promise((resolve) => setTimeout(resolve, 50));
      }
      const chosen = await page.evaluate('[window.newtonRuns.at(-1).x0, window.newtonRuns.at(-1).eps]');
      assert.deepStrictEqual(chosen, [x0s[2], Math.fround(1e-6)]);
      await page.evaluate("document.getElementById('line').focus()");
      await page.endAndRerun('the strip');
    },
  },
  {
    name: 'the view: a table copies as tab-separated text, the graph saves as SVG and PNG, printing in dark mode shows no buttons and dark text',
    engines: ['chromium'],
    async run(browser, page) {
      await browser.context.grantPermissions(['clipboard-read', 'clipboard-write']);
      await page.toKeyWait('0 0.001 100\n', 'a report');
      await page.evaluate("document.querySelector('#view .view-table button').click()");
      const copied = await page.evaluate('navigator.clipboard.readText()');
      assert.strictEqual(copied.split('\n').slice(0, 2).join('\n'), 'k\tx\tF(x)\tF\'(x)\tδ\n0\t0\t0.5\t-2\t0.25');
      for (const kind of ['SVG', 'PNG']) {
        const [download] = await Promise.all([browser.page.waitForEvent('download'),
          browser.page.getByRole('button', { name: `Скачать ${kind}` }).click()]);
        assert.strictEqual(download.suggestedFilename(), `newton__x0_0_eps_0.001_n_100.${kind.toLowerCase()}`);
        const body = fs.readFileSync(await download.path());
        if (kind === 'SVG') assert.match(body.toString(), /^<svg xmlns.*F\(x\) = 2·e\^\(−x\).*X0 = 0, точность 0\.001.*class="tangent"/s);
        else assert.strictEqual(body.subarray(1, 4).toString(), 'PNG');
      }
      await browser.page.emulateMedia({ media: 'print', colorScheme: 'dark' });
      const printed = await page.evaluate(`({
        buttons: [...document.querySelectorAll('#view button')].filter((b) => b.getClientRects().length > 0).length,
        colour: getComputedStyle(document.querySelector('#view .view-legend li')).color })`);
      await browser.page.emulateMedia({ media: null, colorScheme: null });
      assert.deepStrictEqual(printed, { buttons: 0, colour: 'rgb(0, 0, 0)' });
      await page.endAndRerun('a report');
    },
  },
  {
    name: 'the view at 360 px: tick labels of 11 px or more, the table fits or says it scrolls',
    engines: ['chromium', 'firefox'],
    async run(browser, page) {
      await browser.viewport(360, 640);
      await page.toKeyWait('1.32 1e-6 50\n', 'a phone');
      const phone = await page.evaluate(`(async () => {
        document.querySelector('.tabs [data-tab=view]').click();  // the view's tab
        await new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)));
        const svg = document.querySelector('#view .graph');
        const scale = svg.getBoundingClientRect().width / svg.viewBox.baseVal.width;
        const scroller = document.querySelector('#view .view-scroller');
        return { smallest: Math.min(...[...svg.querySelectorAll('.tick')].map((t) => parseFloat(getComputedStyle(t).fontSize) * scale)),
                 table: scroller.scrollWidth <= scroller.clientWidth || !scroller.nextElementSibling.hidden,
                 overflow: document.documentElement.scrollWidth - innerWidth };
      })()`);
      assert.ok(phone.smallest >= 11 && phone.table && phone.overflow <= 0, JSON.stringify(phone));
      await page.evaluate("document.querySelector('.tabs [data-tab=console]').click()");
      await browser.viewport(1000, 700);
      await page.endAndRerun('a phone');
    },
  },
  {
    name: 'the view: a link with runs in it makes them again and shows them all',
    async run(browser, page) {
      const site = (await page.evaluate('location.href')).split('#')[0];
      const link = '#runs=1.32,0.000001,50;1.33,0.000001,50;-0,1e30,4294967295';
      await browser.goto('about:blank');
      await browser.goto(site + link);
      await page.settled(['reading'], 'the link');
      const deadline = Date.now() + 20000;
      while (await page.evaluate('window.newtonRuns?.length ?? 0') < 3 && Date.now() < deadline) {
        await new Promise((resolve) => setTimeout(resolve, 50));
      }
      const view = await page.evaluate(viewState);
      assert.deepStrictEqual(view.runs.map((run) => [run.x0, run.eps, run.limit]),
                             [['3fa8f5c3', '358637bd', 50], ['3faa3d71', '358637bd', 50], ['80000000', '7149f2ca', 4294967295]]);
      assert.ok(view.runs.every((run) => run.rows !== null && run.tangents > 0), 'all shown');
      assert.strictEqual(view.link, link);
      assert.strictEqual(view.legend, 3);
    },
  },
  {
    name: 'the dialogue is in the accessibility tree, a polite log, with Russian names',
    // Chromium's DevTools protocol gives the tree.
    engines: ['chromium'],
    async run(browser, page) {
      const session = await browser.context.newCDPSession(browser.page);
      const { nodes } = await session.send('Accessibility.getFullAXTree');
      const named = (role) => nodes.filter((n) => n.role?.value === role).map((n) => n.name?.value);
      assert.deepStrictEqual(named('log'), ['Диалог с программой']);
      assert.ok(named('textbox').includes(`Ввод для программы: ${firstPrompt.replace(/: $/, '')}`), named('textbox').join());
      assert.ok(nodes.some((n) => n.role?.value === 'StaticText' && n.name?.value.includes(greeting)));
      // Russian names; the view's «Скачать SVG» and «Скачать PNG» name the file formats.
      assert.deepStrictEqual(named('button').filter((name) => !/^[А-Яа-яЁё «»]+( SVG| PNG)?$/.test(name)), []);
      assert.strictEqual(await page.evaluate("document.getElementById('transcript').getAttribute('aria-live')"), 'polite');
      // The view's tables, the drawing's text alternative, are tables there with their captions.
      const tables = named('table');
      assert.ok(tables.some((name) => /^X0 = 1\.33, точность 1e-06, предел 50 → корень 2\.59939/.test(name)), tables.join('\n'));
      assert.ok(named('columnheader').includes('F′(xₖ)') && named('cell').includes('204.01'));
      assert.ok(named('image').some((name) => /График F\(x\)/.test(name)));
      // The convergence plot, with its values as its description.
      const convergence = nodes.find((n) => n.role?.value === 'image' && /^Сходимость/.test(n.name?.value));
      assert.match(convergence?.description?.value ?? '', /X0 = 1\.33: k = 0: 2\.31; k = 1: 2\.01;/);
      await session.detach();
    },
  },
  {
    name: '«Очистить прошлые запуски» during a run clears the earlier runs, the view\'s list and link, and keeps the run',
    async run(browser, page) {
      await page.toKeyWait('1 2 3\n', 'an earlier run');
      await page.endAndRerun('an earlier run');
      await browser.type('0');
      await browser.press('Enter');
      await page.settled(['reading'], 'X0 read');
      assert.strictEqual(await page.evaluate("document.getElementById('clear').hidden"), false, 'an earlier run to clear');
      await page.evaluate("document.getElementById('clear').click()");
      const after = await page.evaluate(`({ screen: window.newtonScreen(), hidden: document.getElementById('clear').hidden,
        runs: document.querySelectorAll('#view .view-list li').length, link: document.querySelector('#view .view-link').hidden })`);
      assert.match(after.screen, new RegExp(`^(──── Запуск \\d+ ────\n)?${greeting}\n${firstPrompt}0\n[^─]*$`));
      assert.deepStrictEqual([after.hidden, after.runs, after.link], [true, 0, true]);
      await page.toKeyWait('0.001 100\n', 'the kept run');
      await page.endAndRerun('after clearing');
      assert.strictEqual(await page.evaluate("document.querySelectorAll('#view .view-list li').length"), 1);
    },
  },
];

// Rows in a browser of their own, Chromium only (launched with the row's options): each opens the
// site itself.
const chromiumRows = [
  {
    name: 'on a wide screen, after 1, 4 and 20 runs, the result line, the line or «Запустить снова» and the graph are in view without scrolling the page',
    options: { viewport: { width: 1280, height: 800 } },
    async run(browser, page, site, dir) {
      await browser.goto(site);
      // The page does not scroll; the result, the line or button and the graph are within their panels.
      const inView = async (what, label) => assert.deepStrictEqual(await page.evaluate(`(() => {
        const inside = (node, id) => {
          const [r, box] = [node, document.getElementById(id)].map((n) => n.getBoundingClientRect());
          return r.height > 0 && r.top >= Math.max(0, box.top) && r.bottom <= Math.min(innerHeight, box.bottom);
        };
        return [scrollY === 0 && document.documentElement.scrollHeight <= innerHeight,
                inside([...document.querySelectorAll('#transcript .number')].findLast((s) => s.textContent.endsWith('e-09')), 'console'),
                inside(document.getElementById('${what}'), 'console-panel'), inside(document.querySelector('#view .graph'), 'view')];
      })()`), [true, true, true, true], label);
      for (let runs = 1; runs <= 20; ++runs) {
        await page.settled(['reading']);
        await page.toKeyWait('0 0.001 100\n', `run ${runs}`);
        if ([1, 4, 20].includes(runs)) await inView('line', `run ${runs}`);
        await browser.press('Enter');
        await page.settled(['ended']);
        if ([1, 4, 20].includes(runs)) await inView('rerun', `run ${runs}`);
        if (runs < 20) await browser.press('Enter');
      }
      await browser.screenshot(path.join(dir, 'wide-1280.png'));
      await browser.viewport(1920, 1080);
      await inView('rerun', '1920×1080');
      await browser.screenshot(path.join(dir, 'wide-1920.png'));
      // Paper is black on white, whatever the screen's theme.
      await browser.page.emulateMedia({ media: 'print', colorScheme: 'dark' });
      assert.deepStrictEqual(await page.evaluate(`['h1', '.equation', '#transcript', 'html'].map((s) => {
        const style = getComputedStyle(document.querySelector(s));
        return s === 'html' ? style.backgroundColor : style.color;
      })`), ['rgb(0, 0, 0)', 'rgb(0, 0, 0)', 'rgb(0, 0, 0)', 'rgb(255, 255, 255)']);
    },
  },
  {
    name: 'on a touch screen the view\'s graph zooms by a pinch',
    options: { hasTouch: true, isMobile: true, viewport: { width: 390, height: 800 }, deviceScaleFactor: 2 },
    async run(browser, page, site) {
      await browser.goto(`${site}#runs=0,0.001,100`);
      await page.settled(['reading']);
      while (await page.evaluate('window.newtonRuns?.length ?? 0') < 1) await new Promise((resolve) => setTimeout(resolve, 50));
      await browser.page.getByRole('button', { name: 'Ход метода' }).tap();  // the view's tab
      const graph = browser.page.locator('#view .graph');
      await graph.scrollIntoViewIfNeeded();
      const box = await graph.boundingBox();
      const session = await browser.context.newCDPSession(browser.page);
      const touch = (type, spread) => session.send('Input.dispatchTouchEvent', {
        type, touchPoints: type === 'touchEnd' ? [] : [-1, 1].map((side, id) => (
          { x: box.x + box.width / 2 + side * spread, y: box.y + box.height / 2, id })),
      });
      const width = () => page.evaluate('(({ xmin, xmax }) => xmax - xmin)(window.newtonGraph())');
      const before = await width();
      await touch('touchStart', 20);
      for (const spread of [40, 60, 80]) await touch('touchMove', spread);
      await touch('touchEnd', 0);
      assert.ok(await width() < before / 2, 'fingers apart zoom in');
      await session.detach();
    },
  },
  {
    name: 'on a touch screen the keys «Ввод», «Стереть», «Любая клавиша» and a soft keyboard\'s text drive a run',
    options: { hasTouch: true, isMobile: true, viewport: { width: 390, height: 800 }, deviceScaleFactor: 2 },
    async run(browser, page, site, dir) {
      await browser.goto(site);
      await page.settled(['reading']);
      const button = (name) => browser.page.getByRole('button', { name, exact: true });
      assert.ok(await button('Ввод').isVisible());
      await browser.page.tap('#console');
      assert.strictEqual(await page.focused(), 'line', 'a tap on the console');
      assert.deepStrictEqual(await page.evaluate(`['inputmode', 'autocapitalize', 'enterkeyhint'].map((a) =>
        document.getElementById('line').getAttribute(a))`), ['text', 'off', 'enter']);
      await browser.insertText('-1.5e-3x');
      await button('Стереть').tap();
      await button('Ввод').tap();
      await browser.insertText('0.001 100');
      await button('Ввод').tap();
      await page.settled(['key'], 'touch keys');
      assert.match(await page.run(), /X0: -1\.5e-3\n.*Корень/s);
      await browser.screenshot(path.join(dir, 'phone.png'));
      // The graph and the table one tap away, and back.
      await button('Ход метода').tap();
      assert.deepStrictEqual(await Promise.all(['#view .graph', '#view table', '#console'].map((s) => browser.page.isVisible(s))), [true, true, false]);
      await button('Программа').tap();
      assert.strictEqual(await page.focused(), 'line', '«Программа»');
      await browser.insertText('q');  // a soft keyboard's key ends the wait
      await page.settled(['ended'], 'a soft keyboard\'s key');
      await button('Ввод').tap();
      await page.settled(['reading'], '«Ввод» runs again');
      await browser.insertText('0 0.001 100');
      await button('Ввод').tap();
      await page.settled(['key'], 'touch keys');
      // A soft keyboard comes up below a line far down the page: the line stays above it.
      await browser.viewport(390, 370);
      await browser.page.waitForFunction(`document.getElementById('line').getBoundingClientRect().bottom <= visualViewport.height - 16`, null, { timeout: 20000 });
      await browser.viewport(390, 800);
      await button('Любая клавиша').tap();
      await page.settled(['ended'], '«Любая клавиша»');
      assert.ok(!await button('Любая клавиша').isVisible());
    },
  },
  {
    name: 'before the script runs the page shows the equation and «Загрузка…»; lines entered before the script and before the module reach the program, each after its prompt, and a half-typed line stays; a run over before the view arrives is shown in it',
    async run(browser, page, site) {
      const release = {};
      for (const file of ['newton-page.js', 'newton.wasm', 'newton-view.js']) {
        const held = new Promise((resolve) => { release[file] = resolve; });
        await browser.page.route(`**/${file}`, (route) => held.then(() => route.continue()));
      }
      await browser.page.goto(site, { waitUntil: 'commit' });
      await browser.page.waitForSelector('#status');
      assert.strictEqual(await page.evaluate("document.getElementById('status').textContent"), 'Загрузка…');
      assert.strictEqual(await page.evaluate("document.getElementById('clear').hidden"), true, '«Очистить» while loading');
      assert.ok(await page.evaluate("document.querySelector('math').textContent.replace(/\\s/g, '')")
        .then((text) => text.startsWith('F(x)=2')));
      await browser.type('0');
      await browser.press('Enter');
      release['newton-page.js']();
      await browser.page.waitForFunction('window.newtonScreen', null, { timeout: 20000 });
      await browser.type('0.001');
      await browser.press('Enter');
      await browser.type('10');
      release['newton.wasm']();
      await browser.page.waitForFunction("document.body.dataset.program === 'reading'", null, { timeout: 20000 });
      await browser.type('0');
      await browser.press('Enter');
      // The run is over before the view's script arrives: the view shows it all the same.
      await browser.page.waitForFunction("document.body.dataset.program === 'key'", null, { timeout: 20000 });
      release['newton-view.js']();
      await page.settled(['key'], 'the half-typed line');
      assert.match(await page.run(), new RegExp(`^${greeting}\n${firstPrompt}0\n[^\n]*: 0\\.001\n[^\n]*:100\nКорень = 0\\.299733`));
      assert.deepStrictEqual(await page.evaluate('window.newtonRuns.map((run) => [run.x0, run.limit, run.count])'), [[0, 100, 3]]);
    },
  },
  {
    name: 'a failed load says why and «Повторить» loads again; a reload with no network shows the greeting',
    async run(browser, page, site) {
      await browser.page.route('**/newton.wasm', (route) => route.abort('internetdisconnected'));
      await browser.goto(site);
      await page.settled(['failed']);
      assert.strictEqual(await page.evaluate("document.getElementById('status').textContent"),
        'Не удалось загрузить программу: нет связи с сервером.');
      await browser.page.unroute('**/newton.wasm');
      await browser.page.getByRole('button', { name: 'Повторить' }).click();
      await page.settled(['reading'], '«Повторить»');
      assert.strictEqual(await page.focused(), 'line');
      await page.evaluate('navigator.serviceWorker.ready');
      await browser.context.setOffline(true);
      await browser.page.reload();
      await page.settled(['reading'], 'offline');
      assert.strictEqual(await page.run(), `${greeting}\n${firstPrompt}`);
    },
  },
  {
    name: 'the first visit on a link of 2 s latency and 50 KB/s, gzip: bytes sent, first text, greeting',
    async run(browser, page) {
      const server = await serve(site, ['gzip']);
      try {
        const session = await browser.context.newCDPSession(browser.page);
        await session.send('Network.enable');
        await session.send('Network.emulateNetworkConditions', {
          offline: false, latency: 2000, downloadThroughput: 50 * 1000, uploadThroughput: 50 * 1000,
        });
        await browser.goto(`http://127.0.0.1:${server.address().port}/`);
        await page.settled(['reading']);
        const times = await page.evaluate(`({
          text: performance.getEntriesByName('first-contentful-paint')[0]?.startTime,
          greeting: performance.getEntriesByName('newton-greeting')[0]?.startTime })`);
        await page.evaluate('navigator.serviceWorker.ready');
        await page.evaluate('document.fonts.ready');
        const bytes = server.sent.reduce((sum, [, length]) => sum + length, 0);
        console.log(`  slow link: first text ${(times.text / 1000).toFixed(2)} s, greeting ` +
                    `${(times.greeting / 1000).toFixed(2)} s; ${server.sent.length} files, ${bytes} bytes: ` +
                    server.sent.map(([file, length]) => `${file} ${length}`).join(', '));
        assert.ok(bytes <= transferBudget, `${bytes} bytes on a first visit`);
      } finally {
        server.close();
      }
    },
  },
];

async function inEngine(name, address, dir) {
  const browser = await engines[name]();
  const page = on(browser);
  try {
    await browser.goto(address);
    await page.settled(['reading'], 'the first greeting');
    for (const row of rows) {
      if (row.engines && !row.engines.includes(name)) continue;
      const start = Date.now();
      await row.run(browser, page);
      console.log(`${name}: ${row.name} (${Date.now() - start} ms)`);
    }
    if (name === 'chromium') {
      // Two runs one under the other, on a fresh page.
      await browser.goto(address);
      for (const input of ['0 0.001 100\n', '3\n1e-6\n2\n']) {
        await page.settled(['reading']);
        await page.toKeyWait(input, 'two runs');
        await browser.press('Enter');
        await page.settled(['ended']);
        if (input.startsWith('0')) await browser.press('Enter');
      }
      await browser.screenshot(path.join(dir, 'two-runs.png'));
    }
    // A file:// copy of the site, where the module comes from a script.
    await browser.goto(url.pathToFileURL(path.resolve(site, 'index.html')).href);
    await page.settled(['reading'], 'a file:// copy');
    assert.strictEqual(await page.run(), `${greeting}\n${firstPrompt}`, 'a file:// copy');
    console.log(`${name}: a file:// copy of the site starts`);
  } finally {
    await browser.close();
  }
}

async function main() {
  const server = await serve(site);
  const address = `http://127.0.0.1:${server.address().port}/`;
  const dir = path.resolve(site, '..', `${path.basename(site)}-screenshots`);
  fs.mkdirSync(dir, { recursive: true });
  const names = chosen.length > 0 ? chosen : Object.keys(engines);
  let passed = 0;
  try {
    for (const name of names) {
      await inEngine(name, address, dir);
      passed += 1;
    }
    if (names.includes('chromium')) {
      for (const row of chromiumRows) {
        const browser = await engines.chromium(row.options);
        try {
          await row.run(browser, on(browser), address, dir);
        } finally {
          await browser.close();
        }
        console.log(`chromium: ${row.name}`);
      }
    }
  } finally {
    server.close();
  }
  console.log(`page test: ${passed} engines passed every row; screenshots in ${dir}`);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
