// Runs the program's WebAssembly module: the few WASI calls it makes, and its waits for input. A
// wait the host cannot answer at once is answered by a Promise: the module is transformed by
// Asyncify, which unwinds the program's stack while the page waits and winds it back afterwards, so
// the browser never blocks. An ES module, for the page's bundle and for node.

const errno = { success: 0, badf: 8, spipe: 70 };
const characterDevice = 2;  // a WASI file type

// The server's answer was not the file.
class FileError extends Error {}

class ProgramExit {
  constructor(code) {
    this.code = code;
  }
}

// host.read(capacity): the next bytes of standard input (a Uint8Array), null at the end of the
//   input, or a Promise that settles when there may be some: the read is then asked again.
// host.write(fd, bytes): standard output (1) or error (2).
// host.readKey(capacity): the bytes of the next key press, null where there is no keyboard, or a
//   Promise as for read.
// host.iteration (optional): begin(x0, eps, limit, text), update(x, next, f, df, delta, text) and
//   end(outcome, x, count, text), as the program's iteration tells them (see view/runs.js).
// Resolves to the program's exit status; rejects when a Promise of the host rejects (the run is
// abandoned) or the module traps.
export async function runProgram(module, host) {
  let pending = null;  // what the program waits for, while its stack is unwound
  let rewinding = false;
  const imports = { wasi_snapshot_preview1: wasi(),
                    newton: { read_key: waiting(readKey), ...iteration(host.iteration ?? {}) } };
  const instance = await WebAssembly.instantiate(module, imports);
  const exports = instance.exports;

  function memory() {
    return exports.memory.buffer;
  }

  // An import that may have to wait: it unwinds the program, and is called again with the same
  // arguments when the wait is over.
  function waiting(answer) {
    return (...args) => {
      if (rewinding) {
        exports.asyncify_stop_rewind();
        rewinding = false;
      }
      const result = answer(...args);
      if (!(result instanceof Promise)) return result;
      pending = result;
      exports.asyncify_start_unwind(exports.newton_unwind_data.value);
      return 0;
    };
  }

  function buffers(iovs, count) {
    const view = new DataView(memory());
    const parts = [];
    for (let i = 0; i < count; ++i) {
      const at = iovs + 8 * i;
      parts.push(new Uint8Array(memory(), view.getUint32(at, true), view.getUint32(at + 4, true)));
    }
    return parts;
  }

  // Answers src/console/terminal_web.cpp's page_read_key: the bytes' count, or 0 (its
  // page_no_keyboard) where there is no keyboard.
  function readKey(into, capacity) {
    const key = host.readKey(capacity);
    if (key === null || key instanceof Promise) return key === null ? 0 : key;
    const taken = key.subarray(0, capacity);
    new Uint8Array(memory(), into, taken.length).set(taken);
    return taken.length;
  }

  // Each call's last two arguments are the program's text of its numbers, in its memory.
  function iteration(observer) {
    const told = (name) => (...args) => {
      const [at, length] = args.splice(-2);
      observer[name]?.(...args, new TextDecoder().decode(new Uint8Array(memory(), at, length)));
    };
    return { run_begin: told('begin'), run_update: told('update'), run_end: told('end') };
  }

  function wasi() {
    return {
      environ_sizes_get(count, size) {
        const view = new DataView(memory());
        view.setUint32(count, 0, true);
        view.setUint32(size, 0, true);
        return errno.success;
      },
      environ_get() {
        return errno.success;
      },
      fd_close() {
        return errno.success;
      },
      fd_fdstat_get(fd, stat) {
        if (fd > 2) return errno.badf;
        const view = new DataView(memory());
        view.setUint8(stat, characterDevice);
        view.setUint16(stat + 2, 0, true);
        view.setBigUint64(stat + 8, 0xFFFFFFFFFFFFFFFFn, true);
        view.setBigUint64(stat + 16, 0xFFFFFFFFFFFFFFFFn, true);
        return errno.success;
      },
      fd_seek() {
        return errno.spipe;
      },
      fd_write(fd, iovs, count, written) {
        if (fd !== 1 && fd !== 2) return errno.badf;
        let total = 0;
        for (const part of buffers(iovs, count)) {
          if (part.length > 0) host.write(fd, part.slice());
          total += part.length;
        }
        new DataView(memory()).setUint32(written, total, true);
        return errno.success;
      },
      fd_read: waiting((fd, iovs, count, read) => {
        if (fd !== 0) return errno.badf;
        const parts = buffers(iovs, count);
        const input = host.read(parts.reduce((sum, part) => sum + part.length, 0));
        if (input instanceof Promise) return input;
        let total = 0;
        for (const part of parts) {
          if (input === null || total === input.length) break;
          const piece = input.subarray(total, total + part.length);
          part.set(piece);
          total += piece.length;
        }
        new DataView(memory()).setUint32(read, total, true);
        return errno.success;
      }),
      proc_exit(code) {
        throw new ProgramExit(code);
      },
    };
  }

  for (;;) {
    try {
      exports._start();
    } catch (error) {
      if (error instanceof ProgramExit) return error.code;
      throw error;
    }
    if (pending === null) return 0;
    exports.asyncify_stop_unwind();
    const wait = pending;
    pending = null;
    await wait;
    rewinding = true;
    exports.asyncify_start_rewind(exports.newton_unwind_data.value);
  }
}


// The program's module, compiled. It is compiled as it arrives where the server gives it the
// WebAssembly content type, after it has arrived where not; a file:// copy of the site, where the
// browser fetches nothing, takes it from a script. A server's answer other than the file is
// reported by its HTTP status, which says more than the compiler's complaint about its bytes.
export async function loadModule(fetchFile = (name) => fetch(name), protocol = location.protocol) {
  if (typeof WebAssembly !== 'object') throw new Error('браузер не поддерживает WebAssembly');
  if (protocol !== 'file:') {
    const fetched = async () => {
      const response = await fetchFile('newton.wasm');
      if (!response.ok) throw new FileError(`newton.wasm: ${response.status} ${response.statusText}`);
      return response;
    };
    try {
      return await WebAssembly.compileStreaming(fetched());
    } catch (error) {
      if (error instanceof FileError) throw error;
      return WebAssembly.compile(await (await fetched()).arrayBuffer());
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

// The program's module for the page's runs and the view's, compiled once; a load that failed is
// not kept, so that «Повторить» loads again.
let compiled = null;
export function programModule() {
  compiled ??= loadModule().catch((error) => {
    compiled = null;
    throw error;
  });
  return compiled;
}
