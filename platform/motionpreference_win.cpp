#include "motionpreference.h"

#include <windows.h>

namespace MotionPreference {

// "Show animations in Windows" in the accessibility settings.
bool animationsEnabled()
{
    BOOL enabled = TRUE;
    if (!SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &enabled, 0))
        return true;
    return enabled != FALSE;
}

} // namespace MotionPreference
