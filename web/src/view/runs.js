// The runs the program made, as its iteration told them (see runtime.js's host.iteration), oldest
// first: window.newtonRuns holds their numbers; each record keeps beside them the program's own text
// of every number, which the table and the list show.

// Indexed by the outcome code src/dialogue/observer_web.cpp sends (page_outcome.hpp).
const outcomes = [
  { outcome: 'root', reason: 'accuracy' },       // the root was found
  { outcome: 'not-found', reason: 'limit' },     // the limit was used up, or a repeat of x would use it up
  { outcome: 'not-found', reason: 'non-finite' },  // F, F' or the next x left the finite range
];

// A store of runs: `observer` is what the runtime's host.iteration takes; `runs` the public numbers
// (window.newtonRuns); `records` the same runs with their texts; listeners hear of every finished run.
export function createRunStore() {
  const runs = [];
  const records = [];
  const listeners = [];
  let current = null;

  const observer = {
    begin(x0, eps, limit, text) {
      const [x0Text, epsText, limitText] = text.split(' ');
      current = {
        run: { x0, eps, limit: limit >>> 0, outcome: null, reason: null, root: null, count: null, steps: [] },
        texts: { x0: x0Text, eps: epsText, limit: limitText, rows: [], root: null },
        starts: [],  // the x each update started from
      };
    },
    update(x, next, f, df, delta, text) {
      if (current === null) return;
      const [xText, nextText, fText, dfText, deltaText] = text.split(' ');
      current.run.steps.push({ x: next, f, df, delta });
      current.starts.push(x);
      current.texts.rows.push({ x: xText, next: nextText, f: fText, df: dfText, delta: deltaText });
    },
    end(kind, x, count, text) {
      if (current === null) return;
      const record = current;
      current = null;
      const { outcome, reason } = outcomes[kind];
      Object.assign(record.run, { outcome, reason });
      if (outcome === 'root') {
        Object.assign(record.run, { root: x, count: count >>> 0 });
        record.texts.root = text;
      }
      // A run the cycle shortcut ended: it made fewer updates than its limit allows.
      record.cycle = reason === 'limit' && record.run.steps.length < record.run.limit;
      add(record);
    },
  };

  function add(record) {
    record.id = records.length;
    runs.push(record.run);
    records.push(record);
    // Heard once the program's call into the page has returned: nothing the view does can stop it.
    for (const listener of listeners) queueMicrotask(() => listener(record));
  }

  return {
    observer,
    runs,
    records,
    // Forgets the finished runs; a run in progress is kept, and told when it ends.
    clear() {
      runs.length = 0;
      records.length = 0;
    },
    onRun(listener) {
      listeners.push(listener);
    },
  };
}

// The shortest decimal that the program reads as this single (the reader rounds exactly, and a
// single has at most nine significant digits that matter).
export function singleText(value) {
  if (Object.is(value, -0)) return '-0';
  if (value === Infinity) return '1e39';
  if (value === -Infinity) return '-1e39';
  for (let digits = 1; digits < 9; ++digits) {
    const text = Number(value.toPrecision(digits)).toString().replace('e+', 'e');
    if (Math.fround(Number(text)) === value) return text;
  }
  return value.toPrecision(9).replace('e+', 'e');
}

// The link of a list of runs: the hash "#runs=" with each run's X0, accuracy and limit, runs apart by
// ";", numbers by ",".
export function linkOf(runs) {
  if (runs.length === 0) return '';
  return `#runs=${runs.map((run) => [singleText(run.x0), singleText(run.eps), run.limit].join(',')).join(';')}`;
}

// The dialogues a link's hash asks for (what to type for each run), or none. Only numbers pass:
// anything else in the hash is left out. Some messengers send "," and ";" percent-encoded; a hash
// that is no valid percent-encoding asks for nothing.
export function dialoguesOf(hash) {
  let decoded;
  try {
    decoded = decodeURIComponent(hash);
  } catch {
    return [];
  }
  const match = /^#runs=([^#]*)$/.exec(decoded);
  if (match === null) return [];
  const number = /^[+-]?(\d+\.?\d*|\.\d+)(e[+-]?\d+)?$/i;
  return match[1].split(';').map((run) => run.split(','))
    .filter((parts) => parts.length === 3 && parts.every((part) => number.test(part)) && /^\d+$/.test(parts[2]))
    .slice(0, 50)
    .map((parts) => `${parts.join(' ')}\n`);
}
