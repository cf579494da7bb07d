// Inputs the web tests share: the suite's end-to-end dialogues, and singles of every kind.
'use strict';
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');

// The inputs of the suite's end-to-end dialogues (tests/program_test.cpp), as C string literals.
function suiteInputs() {
  const source = fs.readFileSync(path.join(__dirname, '../../tests/program_test.cpp'), 'utf8');
  const literal = /(?:^\s*\{|how\.input = )"((?:[^"\\]|\\.)*)"/gm;
  const escapes = { n: '\n', t: '\t', '\\': '\\', '"': '"' };
  const inputs = [...source.matchAll(literal)].map((m) => m[1].replace(/\\(.)/g, (_, c) => escapes[c]));
  assert.ok(inputs.length > 20, 'the suite\'s dialogues');
  return [...new Set(inputs)];
}

// Every `stride`th single bit pattern and its neighbours (zeros, subnormals, the largest,
// infinities), NaNs left out, written with the nine digits that read back as it (±1e39 for the
// infinities).
function singlesEvery(stride) {
  const bits = new DataView(new ArrayBuffer(4));
  const singles = [];
  for (let base = 0; base < 2 ** 32; base += stride) {
    for (const pattern of [base, base + 1, base + stride - 1]) {
      bits.setUint32(0, pattern);
      const value = bits.getFloat32(0);
      if (Number.isNaN(value)) continue;
      singles.push(Number.isFinite(value) ? value.toPrecision(9) : `${value < 0 ? '-' : ''}1e39`);
    }
  }
  return singles;
}

module.exports = { suiteInputs, singlesEvery };
