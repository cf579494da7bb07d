// The page's pure functions (pasting, the key wait, loading the module) under node --test.
import assert from 'node:assert';
import { test } from 'node:test';
import { pastedText, waitKeyBytes } from '../src/console.js';
import { loadModule } from '../src/runtime.js';

test('a paste: line ends of every system, control characters dropped', () => {
  for (const [pasted, taken] of [
    ['0\r0.001\r\n100\n', '0\n0.001\n100\n'],       // lone CRs end lines too
    ['0\x1b\n0.0\x0701\n100\n', '0\n0.001\n100\n'],  // an Escape and a bell are no part of a number
  ]) assert.strictEqual(pastedText(pasted), taken, JSON.stringify(pasted));
});

test('the key wait: which key presses end it, and with what bytes', () => {
  const key = (key, more = {}) => ({ key, ctrlKey: false, altKey: false, shiftKey: false, metaKey: false, ...more });
  for (const [event, selected, bytes] of [
    [key('Tab'), false, null],  // moves the focus
    [key('v', { ctrlKey: true }), false, null],  // the paste is the key
    [key('c', { ctrlKey: true }), true, null],   // copies the selection
    [key('c', { ctrlKey: true }), false, [3]],
    [key('Enter'), false, [13]],
    [key('x', { altKey: true }), false, [27, 120]],
  ]) {
    const got = waitKeyBytes(event, selected);
    assert.deepStrictEqual(got && [...got], bytes, JSON.stringify(event));
  }
});

test('a server that sends newton.wasm with the wrong type and then answers 404: its status is reported', async () => {
  const answers = [new Response('<html></html>', { headers: { 'content-type': 'text/html' } }),
                   new Response('', { status: 404, statusText: 'Not Found' })];
  await assert.rejects(loadModule(async () => answers.shift(), 'http:'), /^Error: newton\.wasm: 404 Not Found$/);
});
