// Newton's method for 2·e^(−x) + 0.2·x² − 1.5 = 0: asks for X0, the accuracy and the iteration
// limit, reports the root or that there is none, and waits for a key.

#include "console/console.hpp"
#include "dialogue/dialogue.hpp"
#include "equation/extended.hpp"

int main() {
    equation::use_extended_precision();
    console::start();
    return dialogue::run_dialogue();
}
