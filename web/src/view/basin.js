// «Куда сходится X0»: for one starting value per pixel column of the graph's x window, what the
// program reports with the latest run's accuracy and limit. The program's own module computes it
// (its export newton_basin runs the dialogue's iteration, dialogue/basin_web.cpp), in an instance
// of its own, a few columns at a time, yielding to the page between them.

// The outcome codes newton_basin writes (src/dialogue/page_outcome.hpp), in their order.
const outcomes = ['converged', 'not_found', 'non_finite'];
const sampleBytes = 16;  // x0, root (singles), count (unsigned), outcome (int)
const capacity = 1024;   // the samples the module's buffer holds

// The starting value of each column: the single nearest the x at the column's centre.
export function columnStarts(scale, left, width) {
  return Array.from({ length: Math.max(0, Math.floor(width)) }, (_, i) => Math.fround(scale.invert(left + i + 0.5)));
}

// A fresh instance of the module with no program running in it: every import it asks for answers
// at once, and what it writes (the exponential's overflow reports) goes nowhere. A command module's
// export runs the C++ constructors before it and the exit handlers after it, which cannot run twice
// in one instance: each call gets an instance of its own.
async function quietInstance(module) {
  let memory = null;
  const imports = {};
  for (const { module: from, name, kind } of WebAssembly.Module.imports(module)) {
    if (kind !== 'function') continue;
    imports[from] ??= {};
    imports[from][name] = () => 0;
  }
  imports.wasi_snapshot_preview1.fd_write = (fd, iovs, count, written) => {
    const view = new DataView(memory.buffer);
    let total = 0;
    for (let i = 0; i < count; ++i) total += view.getUint32(iovs + 8 * i + 4, true);
    view.setUint32(written, total, true);
    return 0;
  };
  const instance = await WebAssembly.instantiate(module, imports);
  ({ memory } = instance.exports);
  return instance.exports;
}

// Yields to the browser: a timer runs after any input and painting that wait.
const yielded = () => new Promise((resolve) => setTimeout(resolve, 0));

// Runs the program's iteration from each of `starts` with this accuracy and limit: onChunk(from,
// samples) hears each chunk as it is done, samples [{ x0, outcome, root, count }] with root and
// count null where the program writes none. Each chunk takes about `budget` ms. Resolves to true
// when all are done, false when isCancelled() said to stop.
export function createBasinRunner(loadModule, budget = 8) {
  let at = null;  // the buffer's address, the same in every instance
  return async function run(starts, eps, limit, onChunk, isCancelled) {
    const module = await loadModule();
    at ??= (await quietInstance(module)).newton_basin_samples();
    let size = 8;
    for (let from = 0; from < starts.length;) {
      if (isCancelled()) return false;
      const count = Math.min(size, capacity, starts.length - from);
      const exports = await quietInstance(module);
      if (isCancelled()) return false;
      let view = new DataView(exports.memory.buffer);
      for (let i = 0; i < count; ++i) view.setFloat32(at + i * sampleBytes, starts[from + i], true);
      const began = performance.now();
      exports.newton_basin(count, eps, limit);
      const took = performance.now() - began;
      view = new DataView(exports.memory.buffer);
      const samples = [];
      for (let i = 0; i < count; ++i) {
        const base = at + i * sampleBytes;
        const outcome = outcomes[view.getInt32(base + 12, true)];
        const found = outcome === 'converged';
        samples.push({ x0: view.getFloat32(base, true), outcome, root: found ? view.getFloat32(base + 4, true) : null,
                       count: found ? view.getUint32(base + 8, true) : null });
      }
      onChunk(from, samples);
      from += count;
      size = Math.max(1, Math.min(capacity, 2 * count, Math.round((count * budget) / Math.max(took, 0.5))));
      await yielded();
    }
    return true;
  };
}
