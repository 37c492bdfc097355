#pragma once

#include <QString>

// The shell's special folders, named by their Windows CSIDL numbers
// (0 desktop, 2 programs, 7 startup, 11 start menu, 16 desktop directory,
// 36 Windows folder, 37 system folder).
namespace SpecialFolders {

// The folder's path, or an empty string when this platform has no such folder.
QString path(int csidl);

} // namespace SpecialFolders
