// exitProcess(-1) on POSIX: the parent's wait reports the low 8 bits, 255.
#include "tests/unit/exit_status.h"

const int minusOneExitStatus = 255;
