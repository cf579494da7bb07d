// The page in headless Chromium over every end-to-end dialogue of the suite (the inputs of
// tests/program_test.cpp): the input is pasted into the terminal, Ctrl+D ends it where the program
// still reads, and the terminal must show what a Linux terminal shows for the native program in a
// UTF-8 locale: its text, with the echo of what was typed. Then a key ends the wait (a modifier
// alone does not), the page says that the program ended, and Enter runs it again. Last, a file://
// copy of the site starts too.
// Usage: node page-dialogues.js <site directory> <native program>
'use strict';
const assert = require('node:assert');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');
const url = require('node:url');
const { chromium } = require('playwright-core');

const [site, native] = process.argv.slice(2);
const greeting = 'Программа демонстрирует решение нелинейного уравнения методом Ньютона';
const firstPrompt = 'Введите начальное приближение X0: ';

// The inputs of the suite's end-to-end dialogues, as C string literals.
function suiteInputs() {
  const source = fs.readFileSync(path.join(__dirname, '../../tests/program_test.cpp'), 'utf8');
  const literal = /(?:^\s*\{|how\.input = )"((?:[^"\\]|\\.)*)"/gm;
  const escapes = { n: '\n', t: '\t', '\\': '\\', '"': '"' };
  const inputs = [...source.matchAll(literal)].map((m) => m[1].replace(/\\(.)/g, (_, c) => escapes[c]));
  assert.ok(inputs.length > 20, 'the suite\'s dialogues');
  return [...new Set(inputs)];
}

function serve(root) {
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
                  '.wasm': 'application/wasm' };
  const server = http.createServer((request, response) => {
    const wanted = new URL(request.url, 'http://page').pathname.replace(/\/$/, '/index.html');
    const file = path.join(root, wanted);
    fs.readFile(file, (error, body) => {
      response.writeHead(error ? 404 : 200, { 'Content-Type': types[path.extname(file)] ?? 'text/plain' });
      response.end(error ? '' : body);
    });
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// What a terminal shows for the native program's run: its text, with the echo of the input (Ctrl+D
// echoes nothing) after the first prompt, where the pasted input arrives.
function expectedStream(input) {
  const run = spawnSync('sh', ['-c', 'exec "$0" 2>&1', native],
                        { input, detached: true, env: { ...process.env, LC_ALL: 'C.UTF-8' } });
  const text = run.stdout.toString('utf8');
  const split = text.indexOf(firstPrompt) + firstPrompt.length;
  return text.slice(0, split) + input + text.slice(split);
}

// The page's text as rows, and the same for a stream written to a terminal of the same size.
function screenOf(terminal) {
  const buffer = terminal.buffer.active;
  const rows = [];
  for (let i = 0; i < buffer.length; ++i) rows.push(buffer.getLine(i).translateToString(true));
  while (rows.length > 0 && rows[rows.length - 1] === '') rows.pop();
  return rows.join('\n');
}

async function main() {
  const server = await serve(site);
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    const page = await browser.newPage();
    const program = () => page.evaluate(() => document.body.dataset.program);
    const settled = (states) =>
      page.waitForFunction((wanted) => wanted.includes(document.body.dataset.program), states);
    const screen = () => page.evaluate(() => screenOf(window.newtonTerminal));
    await page.addInitScript(`window.screenOf = ${screenOf}`);
    await page.goto(`http://127.0.0.1:${server.address().port}/`);
    await settled(['reading']);
    console.log(`greeting after ${Math.round(await page.evaluate(() => performance.now()))} ms`);
    const keys = ['q', 'Enter', 'Escape', 'F1', 'ArrowUp', 'Control+C', 'Alt+x'];
    const inputs = suiteInputs();
    for (const [index, input] of inputs.entries()) {
      const label = `input ${JSON.stringify(input)}`;
      await page.evaluate((text) => window.newtonTerminal.paste(text), input);
      for (;;) {
        await settled(['reading', 'key', 'ended']);
        if (await program() !== 'reading') break;
        await page.keyboard.press('Control+D');
      }
      assert.strictEqual(await program(), 'key', label);
      const expected = await page.evaluate(async (stream) => {
        const { cols, rows } = window.newtonTerminal;
        const reference = new Terminal({ cols, rows, convertEol: true });
        await new Promise((resolve) => reference.write(stream, resolve));
        return screenOf(reference);
      }, expectedStream(input));
      assert.strictEqual(await screen(), expected, label);
      if (index === 0) {
        await page.keyboard.press('Shift');
        await page.waitForTimeout(100);
        assert.strictEqual(await program(), 'key', 'Shift alone');
      }
      await page.keyboard.press(keys[index % keys.length]);
      await settled(['ended']);
      assert.match(await screen(), /Программа завершена\.\n.*Запустить снова/, label);
      await page.keyboard.press('Enter');
      await settled(['reading']);
      assert.strictEqual(await screen(), `${greeting}\n${firstPrompt}`, label);
    }
    console.log(`${inputs.length} dialogues: the page showed the native program's text`);
    // A file:// copy of the site, where the module comes from a script.
    await page.goto(url.pathToFileURL(path.resolve(site, 'index.html')).href);
    await settled(['reading', 'failed']);
    assert.strictEqual(await screen(), `${greeting}\n${firstPrompt}`, 'a file:// copy');
  } finally {
    await browser.close();
    server.close();
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
