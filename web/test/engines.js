// The three browser engines the page is tested in, behind one small interface:
//   goto(url), evaluate(expression) -> its JSON value (a Promise's is awaited), press('Control+d'),
//   type(text), insertText(text) (text from an input method or soft keyboard, without key presses;
//   undefined where the engine cannot send it), viewport(width, height), screenshot(file),
//   close(); chromium also has page (playwright's) and context.
// Chromium: Debian's chromium through playwright-core. Firefox: Debian's firefox-esr through
// puppeteer-core over WebDriver BiDi. WebKitGTK: Debian's WebKitWebDriver and MiniBrowser through
// plain WebDriver calls, under the X server xvfb-run gives this process.
'use strict';
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');

// playwright adds --headless itself.
const chromiumFlags = ['--no-sandbox', '--disable-gpu', '--no-first-run',
                       '--disable-background-networking', '--disable-component-update', '--disable-sync',
                       '--disable-quic'];

function combo(keys) {
  const parts = keys.split('+');
  return { modifiers: parts.slice(0, -1), key: parts[parts.length - 1] || '+' };
}

async function chromium(options = {}) {
  const { chromium: launcher } = require('playwright-core');
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'newton-chromium-'));
  const context = await launcher.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium', headless: true, args: chromiumFlags,
    viewport: { width: 1000, height: 700 }, ...options,
  });
  const page = context.pages()[0] ?? await context.newPage();
  return {
    name: 'chromium', page, context,
    goto: (url) => page.goto(url),
    evaluate: (expression) => page.evaluate(expression),
    press: (keys) => page.keyboard.press(keys),
    type: (text) => page.keyboard.type(text),
    insertText: (text) => page.keyboard.insertText(text),
    viewport: (width, height) => page.setViewportSize({ width, height }),
    screenshot: (file) => page.screenshot({ path: file }),
    close: async () => {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

async function firefox() {
  const puppeteer = require('puppeteer-core');
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'newton-firefox-'));
  const browser = await puppeteer.launch({
    browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true, userDataDir: profile,
    protocol: 'webDriverBiDi', defaultViewport: { width: 1000, height: 700 },
  });
  const page = (await browser.pages())[0] ?? await browser.newPage();
  return {
    name: 'firefox', page,
    goto: (url) => page.goto(url),
    evaluate: (expression) => page.evaluate(expression),
    press: async (keys) => {
      const { modifiers, key } = combo(keys);
      for (const modifier of modifiers) await page.keyboard.down(modifier);
      await page.keyboard.press(key);
      for (const modifier of modifiers.reverse()) await page.keyboard.up(modifier);
    },
    type: (text) => page.keyboard.type(text),
    insertText: (text) => page.keyboard.sendCharacter(text),
    viewport: (width, height) => page.setViewport({ width, height }),
    screenshot: (file) => page.screenshot({ path: file }),
    close: async () => {
      await browser.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// WebDriver's codes for the keys that have names.
const webdriverKeys = {
  Enter: '\uE007', Backspace: '\uE003', Tab: '\uE004', Escape: '\uE00C', Shift: '\uE008',
  Control: '\uE009', Alt: '\uE00A', Meta: '\uE03D', Insert: '\uE016', Delete: '\uE017',
  ArrowLeft: '\uE012', ArrowUp: '\uE013', ArrowRight: '\uE014', ArrowDown: '\uE015', F1: '\uE031',
  Space: ' ',
};

function freePort() {
  return new Promise((resolve) => {
    const server = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

async function webkit() {
  const port = await freePort();
  const driver = spawn('WebKitWebDriver', [`--port=${port}`], { stdio: 'ignore' });
  const base = `http://127.0.0.1:${port}`;
  async function call(method, where, body) {
    const response = await fetch(base + where, {
      method, headers: { 'content-type': 'application/json' }, body: body && JSON.stringify(body),
    });
    const answer = await response.json();
    if (answer.value?.error) throw new Error(`WebDriver ${where}: ${answer.value.message}`);
    return answer.value;
  }
  let session;
  for (let tries = 0; ; ++tries) {
    try {
      session = await call('POST', '/session', { capabilities: { alwaysMatch: { 'webkitgtk:browserOptions': {
        binary: '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser', args: ['--automation'] } } } });
      break;
    } catch (error) {
      if (tries > 50) throw error;
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
  }
  const at = `/session/${session.sessionId}`;
  const keyActions = (actions) => call('POST', `${at}/actions`, { actions: [{ type: 'key', id: 'keyboard', actions }] });
  await call('POST', `${at}/window/rect`, { width: 1000, height: 800 });
  return {
    name: 'webkit',
    goto: (url) => call('POST', `${at}/url`, { url }),
    evaluate: (expression) => call('POST', `${at}/execute/async`, {
      script: `const done = arguments[0]; Promise.resolve(${expression}).then((v) => done({ v }), (e) => done({ e: String(e) }));`,
      args: [],
    }).then((result) => {
      if ('e' in result) throw new Error(result.e);
      return result.v;
    }),
    press: (keys) => {
      const { modifiers, key } = combo(keys);
      const codes = [...modifiers, key].map((name) => webdriverKeys[name] ?? name);
      return keyActions([...codes.map((value) => ({ type: 'keyDown', value })),
                         ...codes.reverse().map((value) => ({ type: 'keyUp', value }))]);
    },
    type: (text) => keyActions([...text].flatMap((value) => [{ type: 'keyDown', value }, { type: 'keyUp', value }])),
    insertText: undefined,
    viewport: (width, height) => call('POST', `${at}/window/rect`, { width, height }),
    screenshot: async (file) => fs.writeFileSync(file, Buffer.from(await call('GET', `${at}/screenshot`), 'base64')),
    close: async () => {
      await call('DELETE', at).catch(() => {});
      driver.kill();
    },
  };
}

module.exports = { engines: { chromium, firefox, webkit }, chromiumFlags };
