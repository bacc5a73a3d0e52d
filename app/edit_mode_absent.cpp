// The edit mode where the build cannot have its UI library (the mingw build has no Dear ImGui).
#include "app/edit_mode.h"

#include <cstdio>

int runEditMode(const EditOptions&)
{
    std::fputs("kivrel: this build has no edit mode (Dear ImGui is not available for it)\n", stderr);
    return 2;
}
