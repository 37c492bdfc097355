#include "windowblending.h"

namespace WindowBlending {

// Desktop composition is always on since Windows 8.
bool available()
{
    return true;
}

} // namespace WindowBlending
