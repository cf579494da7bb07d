// Runs the program again on a dialogue with no console (for the runs a link asks for): its input is
// the dialogue, its output goes nowhere, there is no key to wait for; only the view hears of it.
import { programModule, runProgram } from '../runtime.js';
import { piped } from './piped.js';

export async function replay(dialogue, observer) {
  await runProgram(await programModule(), {
    read: piped(new TextEncoder().encode(dialogue)),
    write() {},
    readKey: () => null,
    iteration: observer,
  });
}
