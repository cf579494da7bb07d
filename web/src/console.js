// The console: the program's text in a log element, and the line being typed in a real input at its
// end, so that selection, the clipboard, input methods, soft keyboards, screen readers, zoom and
// wrapping are the browser's own. Line editing is a console's: Enter gives the line to the program,
// Ctrl+D gives it without a line end (on an empty line it ends the input), Ctrl+U erases the line,
// Ctrl+C interrupts where nothing is selected. While the program waits for a key, the next key
// press on the page (or a paste, or a soft keyboard's text) is its key, in the bytes a UTF-8
// terminal sends for it. Tab always moves the focus on.
const encoder = new TextEncoder();

// What a terminal sends for the keys that have names; a key not listed here (a modifier alone, a
// dead key, one an input method is composing) is no key press to the program.
const namedKeys = {
  Enter: '\r', Backspace: '\x7f', Escape: '\x1b', Insert: '\x1b[2~', Delete: '\x1b[3~',
  Home: '\x1b[H', End: '\x1b[F', PageUp: '\x1b[5~', PageDown: '\x1b[6~',
  ArrowUp: '\x1b[A', ArrowDown: '\x1b[B', ArrowRight: '\x1b[C', ArrowLeft: '\x1b[D',
  F1: '\x1bOP', F2: '\x1bOQ', F3: '\x1bOR', F4: '\x1bOS', F5: '\x1b[15~', F6: '\x1b[17~',
  F7: '\x1b[18~', F8: '\x1b[19~', F9: '\x1b[20~', F10: '\x1b[21~', F11: '\x1b[23~', F12: '\x1b[24~',
};

export function keyBytes(event) {
  const { key } = event;
  let text = namedKeys[key];
  if (text === undefined) {
    if ([...key].length !== 1) return null;
    text = key;
    if (event.ctrlKey && /^[@-~]$/i.test(key)) text = String.fromCharCode(key.toUpperCase().charCodeAt(0) & 0x1f);
  }
  return encoder.encode(event.altKey ? `\x1b${text}` : text);
}

const pasteKeys = (event) =>
  ((event.ctrlKey || event.metaKey) && event.key.toLowerCase() === 'v') || (event.shiftKey && event.key === 'Insert');
const copyKeys = (event) =>
  ((event.ctrlKey || event.metaKey) && event.key.toLowerCase() === 'c') || (event.ctrlKey && event.key === 'Insert');

// The bytes of a key press that ends the key wait, or null for one that does not: Tab moves the
// focus, the clipboard's keys paste (the paste is the key) or copy a selection.
export function waitKeyBytes(event, selected) {
  if (event.key === 'Tab' || event.isComposing || event.metaKey) return null;
  if (pasteKeys(event) || (copyKeys(event) && selected)) return null;
  return keyBytes(event);
}

// Pasted text as the line editor takes it: line ends of every system become \n, and control
// characters but Tab (an Escape, a bell) are dropped, as they are no part of a number.
export function pastedText(text) {
  return text.replace(/\r\n?/g, '\n').replace(/[^\t\n\P{Cc}]/gu, '');
}

const numberPattern = /[^\s\d]*\d\S*/g;

// Controls whose keys only activate them: during the key wait a key press on one is the program's
// key. Any other control of the page (the graph) keeps the keys it uses.
const activators = 'button, a[href], input[type=checkbox], input[type=radio], summary';

// Returns the console's interface; it tells what is typed through events (see on()):
//   input(bytes, echo): a line typed, or null for the end of the input (Ctrl+D on an empty line);
//     echo is the line's text where the console has not shown it yet (the program has not started,
//     and the line is shown when the program reads it), else null;
//   key(bytes): the key press the program waits for;
//   interrupt(): Ctrl+C with nothing selected;
//   enter(): Enter while no program runs.
export function createConsole(root) {
  const transcript = root.querySelector('#transcript');
  const input = root.querySelector('#line');
  const label = input.getAttribute('aria-label');
  const listeners = { input: [], key: [], interrupt: [], enter: [] };
  const emit = (name, ...args) => {
    for (const listener of listeners[name]) listener(...args);
  };
  let state = 'loading';  // the program's, as the page tells it
  // 'line' while lines go to the program, 'key' during the key wait, else 'idle'.
  const mode = () => ({ reading: 'line', running: 'line', loading: 'line', key: 'key' }[state] ?? 'idle');
  let run = null;         // the element that holds the text of the run in progress, or of the last
  let pending = '';       // the program's text after its last line end, not yet shown
  let swallowed = null;   // the code of the key that ended the wait, whose release is no click

  // Text at the end of the transcript: the program's, the echo of input (class echo), the page's
  // notes. Rows break between words only: each word with a digit in it is a span that breaks only
  // where it is wider than the console (browsers break 7.18151e-09 after its hyphen, and
  // F(0.299733)=7.18151e-09 before the number). Each call is one addition to the live log.
  function add(text, className) {
    const span = document.createElement('span');
    if (className) span.className = className;
    let at = 0;
    for (const match of text.matchAll(numberPattern)) {
      span.append(text.slice(at, match.index));
      const number = document.createElement('span');
      number.className = 'number';
      number.textContent = match[0];
      span.append(number);
      at = match.index + match[0].length;
    }
    span.append(text.slice(at));
    (run ?? transcript).append(span);
    input.scrollIntoView({ block: 'nearest' });
    return span;
  }

  // The program's unfinished line, shown where it waits or someone else writes.
  function flush() {
    if (pending === '') return;
    const text = pending;
    pending = '';
    add(text);
  }

  function append(text, className) {
    flush();
    return add(text, className);
  }

  function fitInput() {
    const wide = [...input.value].reduce((sum, c) => sum + (/[\u1100-\uffff]/.test(c) ? 2 : 1), 0);
    input.style.width = `${Math.max(6, wide + 2)}ch`;
  }

  // Before the program starts a line is kept back, and shown after the prompt it answers.
  function give(text) {
    const early = state === 'loading';
    if (!early) append(text, 'echo');
    emit('input', encoder.encode(text), early ? text : null);
  }

  // Typed or pasted text at the caret: each line it completes goes to the program.
  function insert(text) {
    const { selectionStart: start, selectionEnd: end, value } = input;
    const lines = (value.slice(0, start) + pastedText(text) + value.slice(end)).split('\n');
    const rest = value.slice(end);
    input.value = lines.pop();
    for (const line of lines) give(`${line}\n`);
    const caret = input.value.length - rest.length;
    input.setSelectionRange(Math.max(caret, 0), Math.max(caret, 0));
    fitInput();
  }

  // A paste: lines for the program, or during the key wait its key.
  function paste(text) {
    if (mode() === 'key') {
      if (text !== '') emit('key', encoder.encode(text));
    } else {
      if (document.activeElement !== input) input.focus();
      insert(text);
    }
  }

  function selection() {
    if (document.activeElement === input && input.selectionStart !== input.selectionEnd) {
      return input.value.slice(input.selectionStart, input.selectionEnd);
    }
    return String(getSelection());
  }

  // A terminal's copy (Ctrl+Shift+C), anywhere on the page, rather than the browser's inspector.
  function copy(text) {
    if (navigator.clipboard?.writeText) navigator.clipboard.writeText(text).catch(() => {});
    else document.execCommand('copy');
  }

  function lineKey(event) {
    const plainCtrl = event.ctrlKey && !event.altKey && !event.metaKey;
    if (event.key === 'Enter' && !event.isComposing) {
      event.preventDefault();
      if (mode() === 'idle') emit('enter');
      else if (mode() === 'line') {
        const line = input.value;
        input.value = '';
        fitInput();
        give(`${line}\n`);
      }
    } else if (plainCtrl && !event.shiftKey && event.key.toLowerCase() === 'd' && mode() === 'line') {
      event.preventDefault();
      const line = input.value;
      input.value = '';
      if (line === '') emit('input', null, null);
      else give(line);
    } else if (plainCtrl && event.key.toLowerCase() === 'u') {
      event.preventDefault();
      input.value = '';
      fitInput();
    } else if (plainCtrl && event.key.toLowerCase() === 'w') {
      event.preventDefault();
      const caret = input.selectionStart;
      const kept = input.value.slice(0, caret).replace(/\S*\s*$/, '');
      input.value = kept + input.value.slice(caret);
      input.setSelectionRange(kept.length, kept.length);
      fitInput();
    } else if (plainCtrl && !event.shiftKey && event.key.toLowerCase() === 'c' && selection() === '' &&
               mode() !== 'idle') {
      event.preventDefault();
      append(`${input.value}^C`, 'echo');
      input.value = '';
      fitInput();
      emit('interrupt');
    }
  }

  // The key wait takes a key press anywhere on the page: before any handler where the focus is on
  // the console or a control that keys only activate (so that Space does not tick a checkbox), after
  // them where a control of the page may use the key itself (the graph's zoom keys stay the graph's).
  const ownKeys = (target) => target !== input && target !== document.body && !root.contains(target) &&
    !target.closest?.(activators);
  function takeKey(event) {
    const bytes = waitKeyBytes(event, selection() !== '');
    if (bytes === null) return;
    event.preventDefault();
    event.stopPropagation();
    swallowed = event.code;
    emit('key', bytes);
  }
  document.addEventListener('keydown', (event) => {
    if (mode() === 'key' && !ownKeys(event.target)) takeKey(event);
  }, true);
  document.addEventListener('keydown', (event) => {
    if (mode() === 'key' && ownKeys(event.target) && !event.defaultPrevented) takeKey(event);
    if (event.ctrlKey && event.shiftKey && event.key.toLowerCase() === 'c' && selection() !== '') {
      event.preventDefault();
      copy(selection());
    }
  });
  document.addEventListener('keyup', (event) => {
    if (event.code !== swallowed) return;
    swallowed = null;
    event.preventDefault();
  }, true);

  input.addEventListener('keydown', lineKey);
  // A soft keyboard's text comes without a key press it names.
  input.addEventListener('beforeinput', (event) => {
    if (mode() === 'key' && event.data) {
      event.preventDefault();
      emit('key', encoder.encode(event.data));
    }
  });
  input.addEventListener('input', fitInput);
  document.addEventListener('paste', (event) => {
    if (event.target !== input && event.target !== document.body && !root.contains(event.target)) return;
    event.preventDefault();
    paste(event.clipboardData?.getData('text/plain') ?? '');
  });
  // A tap on the transcript that selects nothing goes to the line (and brings up a soft keyboard).
  root.addEventListener('click', () => {
    if (String(getSelection()) === '') input.focus();
  });

  // The line's accessible name says what the program asks for: its last line, while it waits.
  function name() {
    const asked = transcript.textContent.slice(transcript.textContent.lastIndexOf('\n') + 1).trim();
    const waiting = (state === 'reading' || state === 'key') && asked !== '';
    input.setAttribute('aria-label', waiting ? `${label}: ${asked.replace(/:$/, '')}` : label);
  }

  return {
    input,
    paste,
    on(event, listener) {
      listeners[event].push(listener);
    },
    // Lines entered before this script ran (window.newtonTypedAhead, kept by the page's first script).
    takeTypedAhead() {
      for (const line of window.newtonTypedAhead ?? []) give(`${line}\n`);
      window.newtonTypedAhead = null;
    },
    // The program's state: loading, running, reading, key, ended or failed.
    follow(next) {
      state = next;
      if (next === 'reading' || next === 'key') flush();
      name();
    },
    // The key press the program waits for, from elsewhere (a touch key).
    key(bytes) {
      emit('key', bytes);
    },
    // The program's text, decoded: shown a line at a time, the rest where it waits.
    write(text) {
      pending += text;
      const end = pending.lastIndexOf('\n') + 1;
      if (end === 0) return;
      const lines = pending.slice(0, end);
      pending = pending.slice(end);
      add(lines);
    },
    flush,
    // A line kept back before the program started, shown where the program reads it.
    echo(text) {
      append(text, 'echo');
    },
    // A message of the page's own, on lines of its own.
    note(text) {
      flush();
      const open = transcript.textContent !== '' && !transcript.textContent.endsWith('\n');
      add(`${open ? '\n' : ''}${text}\n`, 'note');
    },
    // A new run starts below the previous ones, after a separating line. A line half typed while
    // the program loaded stays for the first.
    startRun(number) {
      flush();
      run = document.createElement('span');
      run.className = 'run';
      transcript.append(run);
      if (number > 1) {
        add(`──── Запуск ${number} ────\n`, 'separator');
        input.value = '';
        fitInput();
      }
    },
    // Whether there is text of runs before the last one.
    hasEarlier() {
      return run !== null && run.previousSibling !== null;
    },
    // Removes the text of every run but the last (the one in progress, if one is).
    clearEarlier() {
      while (run !== null && run.previousSibling !== null) run.previousSibling.remove();
    },
    // What was typed and not yet given to the program, taken from the line (a key wait's type-ahead).
    takeLine() {
      const line = input.value;
      if (line !== '') {
        append(line, 'echo');
        input.value = '';
        fitInput();
      }
      return line;
    },
    focus() {
      input.focus();
    },
    // The console's text as a person reads it, the line being typed included.
    screen() {
      return (transcript.textContent + input.value).replace(/\n+$/, '');
    },
  };
}
