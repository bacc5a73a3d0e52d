// ExitProcess(0xFFFFFFFF) on Windows: GetExitCodeProcess reports all 32 bits, -1 as an int.
#include "tests/unit/exit_status.h"

const int minusOneExitStatus = -1;
