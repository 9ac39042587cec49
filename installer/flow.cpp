#include "installer/flow.h"
#include <cstdlib>
// Temporary.
int run_command(const char*) { return 0; }
void run_installer() { exit(0); }
