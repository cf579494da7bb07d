// The page: the program in a terminal. Standard input gets a console's line editing (echo,
// Backspace, Enter, Ctrl+U to erase the line, Ctrl+D to end the input, Ctrl+C to interrupt); the
// key wait reads the next key raw; when the program ends the page says so and runs it again on
// Enter or its button. The body's data-program attribute tells what the program is doing: loading,
// running, reading (a line), key (waiting for a key), ended, or failed (it could not be loaded).
(function () {
  'use strict';

  // The module loads while the terminal is set up. It is compiled as it arrives where the server
  // gives it the WebAssembly content type, after it has arrived where not; a file:// copy of the
  // site, where the browser fetches nothing, takes it from a script.
  async function loadModule() {
    if (typeof WebAssembly !== 'object') throw new Error('браузер не поддерживает WebAssembly');
    if (location.protocol !== 'file:') {
      try {
        return await WebAssembly.compileStreaming(fetch('newton.wasm'));
      } catch {
        const response = await fetch('newton.wasm');
        if (!response.ok) throw new Error(`newton.wasm: ${response.status} ${response.statusText}`);
        return WebAssembly.compile(await response.arrayBuffer());
      }
    }
    await new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = 'newton-wasm.js';
      script.onload = resolve;
      script.onerror = () => reject(new Error('newton-wasm.js'));
      document.head.append(script);
    });
    return WebAssembly.compile(Uint8Array.from(atob(globalThis.newtonModuleBase64), (c) => c.charCodeAt(0)));
  }
  const loading = loadModule();

  const texts = {
    ended: 'Программа завершена.',
    endedWith: (status) => `Программа завершена с кодом ${status}.`,
    interrupted: 'Программа прервана.',
    failed: (reason) => `Программа завершилась аварийно: ${reason}`,
    notLoaded: (reason) => `Не удалось загрузить программу: ${reason}`,
    again: 'Нажмите Enter или кнопку «Запустить снова», чтобы запустить её ещё раз.',
  };

  const themes = {
    light: { background: '#ffffff', foreground: '#1e1e1e', cursor: '#1e1e1e', cursorAccent: '#ffffff',
             selectionBackground: '#add6ff' },
    dark: { background: '#1e1e1e', foreground: '#d4d4d4', cursor: '#d4d4d4', cursorAccent: '#1e1e1e',
            selectionBackground: '#264f78' },
  };
  const darkScheme = matchMedia('(prefers-color-scheme: dark)');
  const theme = () => (darkScheme.matches ? themes.dark : themes.light);

  const terminal = new Terminal({
    convertEol: true, cursorBlink: true, fontSize: 16, scrollback: 5000, theme: theme(),
  });
  const fit = new FitAddon.FitAddon();
  terminal.loadAddon(fit);
  terminal.open(document.getElementById('terminal'));
  fit.fit();
  addEventListener('resize', () => fit.fit());
  darkScheme.addEventListener('change', () => { terminal.options.theme = theme(); });
  terminal.focus();
  window.newtonTerminal = terminal;

  const rerun = document.getElementById('rerun');
  const encoder = new TextEncoder();
  const interruption = new Error('interrupted');

  let state = 'loading';
  let waitingFor = null;  // what the program waits for: 'reading' or 'key'
  let line = '';        // the line being typed, not yet the program's
  let given = [];       // input the program has not read: byte arrays, null for an end of input
  let key = null;       // the bytes of the key press the program waits for
  let wake = null;      // ends the program's wait
  let stop = null;      // abandons it, when the run is interrupted
  let interrupted = false;

  function setState(next) {
    state = next;
    document.body.dataset.program = next;
  }

  function wait(kind) {
    if (interrupted) return Promise.reject(interruption);
    waitingFor = kind;
    return new Promise((resolve, reject) => {
      wake = resolve;
      stop = reject;
      // The attribute changes once the program's text so far is on the screen.
      terminal.write('', () => {
        if (wake === resolve) setState(kind);
      });
    });
  }

  function wakeProgram() {
    if (wake === null) return;
    const resolve = wake;
    wake = stop = waitingFor = null;
    setState('running');
    resolve();
  }

  // What the program's reads get: standard input as the lines typed, and the key.
  const host = {
    read(capacity) {
      if (given.length === 0) return wait('reading');
      const head = given[0];
      if (head === null || head.length <= capacity) return given.shift();
      given[0] = head.subarray(capacity);
      return head.subarray(0, capacity);
    },
    write(fd, bytes) {
      terminal.write(bytes);
    },
    // As a console switched to raw mode, the wait takes what was typed ahead first.
    readKey() {
      const ahead = given.filter((part) => part !== null);
      if (line !== '') ahead.push(encoder.encode(line));
      if (key === null && ahead.length === 0) return wait('key');
      const bytes = key ?? Uint8Array.from(ahead.flatMap((part) => [...part]));
      key = null;
      given = [];
      line = '';
      return bytes;
    },
  };

  // The end of an escape sequence (a cursor or function key), which line editing ignores.
  function afterEscape(data, at) {
    if (data[at + 1] === '[') {
      let end = at + 2;
      while (end < data.length && !/[@-~]/.test(data[end])) ++end;
      return end + 1;
    }
    return at + (data[at + 1] === 'O' ? 3 : 2);
  }

  function erase(count) {
    terminal.write('\b \b'.repeat(count));
  }

  function edit(data) {
    for (let at = 0; at < data.length;) {
      if (data[at] === '\x1b') {
        at = afterEscape(data, at);
        continue;
      }
      const character = String.fromCodePoint(data.codePointAt(at));
      at += character.length;
      switch (character) {
        case '\r':
        case '\n':
          terminal.write('\r\n');
          given.push(encoder.encode(line + '\n'));
          line = '';
          break;
        case '\x7f':
        case '\b':
          if (line !== '') {
            line = [...line].slice(0, -1).join('');
            erase(1);
          }
          break;
        case '\x15':  // Ctrl+U
          erase([...line].length);
          line = '';
          break;
        case '\x04':  // Ctrl+D: the line as it is, or on an empty line the end of the input
          given.push(line === '' ? null : encoder.encode(line));
          line = '';
          break;
        case '\x03':  // Ctrl+C: the run ends at its next wait, with nothing more to read
          terminal.write('^C');
          given = [];
          line = '';
          interrupted = true;
          if (stop !== null) stop(interruption);
          return;
        default:
          if (character === '\t' || character >= ' ') {
            line += character;
            terminal.write(character);
          }
      }
    }
  }

  terminal.onData((data) => {
    if (state === 'ended') {
      if (data === '\r') run();
    } else if (waitingFor === 'key') {
      key = encoder.encode(data);
      wakeProgram();
    } else if (state !== 'loading' && state !== 'failed') {
      edit(data);
      if (given.length > 0) wakeProgram();
    }
  });

  let module = null;

  async function finish(message) {
    await new Promise((resolve) => terminal.write('', resolve));  // the program's text first
    const newLine = terminal.buffer.active.cursorX === 0 ? '' : '\r\n';
    await new Promise((resolve) => terminal.write(`${newLine}\r\n${message}\r\n${texts.again}\r\n`, resolve));
    setState('ended');
    rerun.hidden = false;
    terminal.focus();
  }

  async function run() {
    terminal.reset();
    rerun.hidden = true;
    given = [];
    line = '';
    key = null;
    interrupted = false;
    setState('running');
    let message;
    try {
      const status = await newtonRuntime.runProgram(module, host);
      message = status === 0 ? texts.ended : texts.endedWith(status);
    } catch (error) {
      message = error === interruption ? texts.interrupted : texts.failed(error.message);
    }
    await finish(message);
  }

  rerun.addEventListener('click', () => {
    if (state === 'ended') run();
  });

  loading.then((loaded) => {
    module = loaded;
    run();
  }, (error) => {
    terminal.write(texts.notLoaded(error.message) + '\r\n');
    setState('failed');
  });
})();
