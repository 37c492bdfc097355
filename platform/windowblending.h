#pragma once

// Whether the window system blends translucent windows over what lies beneath
// them. A window faded in where it does not is drawn over black until the fade
// ends, so fades are shown only where this says yes.
namespace WindowBlending {

// True on an X11 screen whose compositing manager runs (it owns the selection
// _NET_WM_CM_S<screen>), in a Wayland session (the compositor always blends) and
// on Windows (desktop composition); false on an X11 screen without a compositing
// manager and on platforms without a window system (offscreen). Asked anew at
// every call: a compositing manager may start or stop while the program runs.
bool available();

} // namespace WindowBlending
