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

const numberPattern = /[^\s\d]*\d\S*/g;

// handlers.input(bytes): a line typed, or null for the end of the input (Ctrl+D on an empty line).
// handlers.key(bytes): the key press the program waits for.
// handlers.interrupt(): Ctrl+C with nothing selected.
// handlers.enter(): Enter while no program runs.
// mode: 'line' while lines go to the program (typed ahead or read), 'key' during the key wait,
// 'idle' while no program runs.
export function createConsole(root, handlers) {
  const transcript = root.querySelector('#transcript');
  const input = root.querySelector('#line');
  const self = { mode: 'idle' };
  let runStart = null;  // the first node of the run in progress

  // Text at the end of the transcript: the program's, the echo of input (class echo), the page's
  // notes. Rows break between words only: each word with a digit in it is a span that never breaks
  // (browsers break 7.18151e-09 after its hyphen, and F(0.299733)=7.18151e-09 before the number).
  function append(text, className) {
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
    transcript.append(span);
    input.scrollIntoView({ block: 'nearest' });
    return span;
  }

  function fitInput() {
    const wide = [...input.value].reduce((sum, c) => sum + (/[\u1100-\uffff]/.test(c) ? 2 : 1), 0);
    input.style.width = `${Math.max(6, wide + 2)}ch`;
  }

  function give(text) {
    append(text, 'echo');
    handlers.input(encoder.encode(text));
  }

  // Typed or pasted text at the caret: each line it completes goes to the program.
  function insert(text) {
    const { selectionStart: start, selectionEnd: end, value } = input;
    const lines = (value.slice(0, start) + text.replace(/\r\n?/g, '\n').replace(/[^\t\n\P{Cc}]/gu, '') +
                   value.slice(end)).split('\n');
    const rest = value.slice(end);
    input.value = lines.pop();
    for (const line of lines) give(`${line}\n`);
    const caret = input.value.length - rest.length;
    input.setSelectionRange(Math.max(caret, 0), Math.max(caret, 0));
    fitInput();
  }

  // A paste: lines for the program, or during the key wait its key.
  function paste(text) {
    if (self.mode === 'key') {
      if (text !== '') handlers.key(encoder.encode(text));
    } else {
      if (document.activeElement !== input) input.focus();
      insert(text);
    }
  }

  function selected() {
    return input.selectionStart !== input.selectionEnd || String(getSelection()) !== '';
  }

  function lineKey(event) {
    const plainCtrl = event.ctrlKey && !event.altKey && !event.metaKey;
    if (event.key === 'Enter' && !event.isComposing) {
      event.preventDefault();
      if (self.mode === 'idle') handlers.enter();
      else if (self.mode === 'line') {
        const line = input.value;
        input.value = '';
        fitInput();
        give(`${line}\n`);
      }
    } else if (plainCtrl && !event.shiftKey && event.key.toLowerCase() === 'd' && self.mode === 'line') {
      event.preventDefault();
      const line = input.value;
      input.value = '';
      if (line === '') handlers.input(null);
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
    } else if (plainCtrl && !event.shiftKey && event.key.toLowerCase() === 'c' && !selected() &&
               self.mode !== 'idle') {
      event.preventDefault();
      append(`${input.value}^C`, 'echo');
      input.value = '';
      fitInput();
      handlers.interrupt();
    } else if (event.ctrlKey && event.shiftKey && event.key.toLowerCase() === 'c' && selected()) {
      event.preventDefault();  // a terminal's copy, not the browser's inspector
      document.execCommand('copy');
    }
  }

  // The key wait takes a key press anywhere on the page but in the page's own controls.
  document.addEventListener('keydown', (event) => {
    if (self.mode !== 'key' || event.key === 'Tab' || event.isComposing) return;
    if (event.target !== input && event.target !== document.body && !root.contains(event.target)) return;
    if (pasteKeys(event) || (copyKeys(event) && selected()) || event.metaKey) return;
    const bytes = keyBytes(event);
    if (bytes === null) return;
    event.preventDefault();
    event.stopPropagation();
    handlers.key(bytes);
  }, true);

  input.addEventListener('keydown', lineKey);
  // A soft keyboard's text comes without a key press it names.
  input.addEventListener('beforeinput', (event) => {
    if (self.mode === 'key' && event.data) {
      event.preventDefault();
      handlers.key(encoder.encode(event.data));
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

  // Lines entered before this script ran.
  function takeTypedAhead() {
    for (const line of window.newtonTypedAhead ?? []) give(`${line}\n`);
    window.newtonTypedAhead = null;
  }

  Object.assign(self, {
    input,
    takeTypedAhead,
    paste,
    // The program's text, decoded.
    write(text) {
      if (text !== '') append(text);
    },
    // A message of the page's own, on lines of its own.
    note(text) {
      const open = transcript.textContent !== '' && !transcript.textContent.endsWith('\n');
      append(`${open ? '\n' : ''}${text}\n`, 'note');
    },
    // A new run starts below the previous ones, after a separating line.
    startRun(number) {
      runStart = number > 1 ? append(`──── Запуск ${number} ────\n`, 'separator') : null;
      input.value = '';
      fitInput();
    },
    // Removes every run but the one in progress.
    clearEarlier() {
      while (transcript.firstChild && transcript.firstChild !== runStart) transcript.firstChild.remove();
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
  });
  return self;
}
