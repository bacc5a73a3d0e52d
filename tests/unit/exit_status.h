// How a parent sees a child that ended through exitProcess(-1): status 255 from a POSIX wait,
// 0xFFFFFFFF (-1) on Windows. Defined in tests/unit/<platform>/exit_status.cpp.
#pragma once

extern const int minusOneExitStatus;
