// The dialogue from greeting to key press, on the standard streams and the console.
#pragma once

namespace dialogue {

// Greets the user, reads X0, the accuracy and the iteration limit from the standard input stream,
// runs the iteration, writes the root or that there is none, and waits for a key. A failed read
// does not stop it: the values that were not read stay 0. Returns the exit status: 0, or 1 when
// standard output could not be written; then the failure is named on standard error and there is
// no key wait.
int run_dialogue();

}  // namespace dialogue
