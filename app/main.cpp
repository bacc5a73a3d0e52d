// Entry point of the piece. Start-up, the main loop and shutdown are wired in here as the
// layers below land; today it only brings up diagnostics.
#include "core/log.h"

int main()
{
    logMessage("KIVREL\n");
    return 0;
}
