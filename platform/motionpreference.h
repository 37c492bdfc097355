#pragma once

// Whether the desktop wants windows to animate. Users who turn animations off
// (to avoid motion, or on a slow machine) get popups at full opacity at once.
namespace MotionPreference {

// False when the desktop's own setting turns animations off: GNOME's
// org.gnome.desktop.interface enable-animations (where that schema is installed)
// or KDE's AnimationDurationFactor of 0 in kdeglobals; true otherwise. Asked anew
// at every call, so a change in the desktop's settings applies to the next popup.
bool animationsEnabled();

} // namespace MotionPreference
