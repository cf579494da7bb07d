// The page's states and messages: the program's runs in the console, one below the other. The body's
// data-program attribute tells what the program is doing: loading, running, reading (a line), key
// (waiting for a key), ended, or failed (it could not be loaded).
import { programModule, runProgram } from './runtime.js';

const texts = {
  loading: 'Загрузка…',
  ended: 'Программа завершена.',
  endedWith: (status) => `Программа завершена с кодом ${status}.`,
  interrupted: 'Программа прервана.',
  failed: (reason) => `Программа завершилась аварийно: ${reason}`,
  notLoaded: (reason) => `Не удалось загрузить программу: ${reason}.`,
  offline: 'нет связи с сервером',
  again: 'Нажмите Enter или кнопку «Запустить снова», чтобы запустить её ещё раз.',
};

// Why a load failed, in words a student reads: a fetch that could not reach the server says nothing
// useful of its own.
const reasonOf = (error) => (error instanceof TypeError && /fetch|network|load/i.test(error.message)
  ? texts.offline : error.message);

// console: createConsole's interface; view: startView's. Returns the page's own interface.
export function startPage({ console, view, status, rerun, clear, retry }) {
  const decoder = new TextDecoder();
  const interruption = new Error('interrupted');
  const listeners = [];
  let state = 'loading';
  let given = [];      // input the program has not read: { bytes (null for an end of input), echo }
  let key = null;      // the bytes of the key press the program waits for
  let wake = null;     // ends the program's wait
  let stop = null;     // abandons it, when the run is interrupted
  let interrupted = false;
  let runs = 0;
  let module = null;
  let viewRuns = 0;    // finished runs in the view's list

  function setState(next) {
    state = next;
    document.body.dataset.program = next;
    console.follow(next);
    showClear();
    for (const listener of listeners) listener(next);
  }

  function wait(kind) {
    if (interrupted) return Promise.reject(interruption);
    return new Promise((resolve, reject) => {
      wake = resolve;
      stop = reject;
      setState(kind);
    });
  }

  function wakeProgram() {
    if (wake === null) return;
    const resolve = wake;
    wake = stop = null;
    setState('running');
    resolve();
  }

  // What the program's reads get: standard input as the lines typed, and the key.
  const host = {
    read(capacity) {
      if (given.length === 0) return wait('reading');
      const head = given[0];
      if (head.echo !== null) console.echo(head.echo);
      head.echo = null;
      if (head.bytes === null || head.bytes.length <= capacity) return given.shift().bytes;
      const part = head.bytes.subarray(0, capacity);
      head.bytes = head.bytes.subarray(capacity);
      return part;
    },
    write(fd, bytes) {
      console.write(decoder.decode(bytes, { stream: true }));
    },
    iteration: view.iteration,  // the view of the method hears of the runs
    // As a console switched to raw mode, the wait takes what was typed ahead first.
    readKey() {
      const ahead = given.filter((part) => part.bytes !== null).map((part) => {
        if (part.echo !== null) console.echo(part.echo);
        return part.bytes;
      });
      const line = console.takeLine();
      if (line !== '') ahead.push(new TextEncoder().encode(line));
      if (key === null && ahead.length === 0) return wait('key');
      const bytes = key ?? Uint8Array.from(ahead.flatMap((part) => [...part]));
      key = null;
      given = [];
      return bytes;
    },
  };

  console.on('input', (bytes, echo) => {
    given.push({ bytes, echo });
    if (state === 'reading') wakeProgram();
  });
  console.on('key', (bytes) => {
    key = bytes;
    wakeProgram();
  });
  console.on('interrupt', () => {
    given = [];
    interrupted = true;
    if (stop !== null) stop(interruption);
  });
  console.on('enter', () => {
    if (state === 'ended') run();
  });

  // «Очистить прошлые запуски» is there while there is something to clear: the text of earlier runs
  // in the console, or finished runs in the view.
  function showClear() {
    clear.hidden = state === 'loading' || state === 'failed' || !(console.hasEarlier() || viewRuns > 0);
  }
  view.onRuns((count) => {
    viewRuns = count;
    showClear();
  });

  async function run() {
    runs += 1;
    console.startRun(runs);
    rerun.hidden = true;
    if (runs > 1) given = [];  // the first run gets what was typed while it loaded
    key = null;
    interrupted = false;
    setState('running');
    let message;
    try {
      const status = await runProgram(module, host);
      message = status === 0 ? texts.ended : texts.endedWith(status);
    } catch (error) {
      message = error === interruption ? texts.interrupted : texts.failed(error.message);
    }
    console.write(decoder.decode());
    console.flush();
    console.note(`\n${message}\n${texts.again}`);
    setState('ended');
    rerun.hidden = false;
    if (document.activeElement === document.body || document.activeElement === null) console.focus();
  }

  function startAgain() {
    if (state !== 'ended') return;
    run();
    console.focus();
  }
  rerun.addEventListener('click', startAgain);
  // Clears what ran before: the run in progress (or the last one) stays in the console.
  clear.addEventListener('click', () => {
    console.clearEarlier();
    view.clearRuns();
    showClear();
    console.focus();
  });

  async function load() {
    status.textContent = texts.loading;
    retry.hidden = true;
    setState('loading');
    try {
      module = await programModule();
    } catch (error) {
      status.textContent = texts.notLoaded(reasonOf(error));
      retry.hidden = false;
      setState('failed');
      return;
    }
    status.textContent = '';
    document.documentElement.classList.add('fonts');
    run();
  }
  retry.addEventListener('click', () => {
    load();
    console.focus();
  });
  load();

  return {
    // Calls listener(state) at every change of state.
    onState(listener) {
      listeners.push(listener);
    },
  };
}
