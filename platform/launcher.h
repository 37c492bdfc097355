#pragma once

#include <QString>

// Starting catalog items.
namespace Launcher {

// How a start went: whether it began, and if it did not, why (a short text
// from the system, for the user).
struct Result
{
    bool started = false;
    QString error;
};

// Starts the item at `path`, detached, with no arguments and the launcher's
// working directory, the way the platform starts such a file: a program runs as
// a process and any other file (or folder) opens with the desktop's
// association. On Linux a program is an executable ELF file or "#!" script, and
// a desktop entry (.desktop) starts its application; on Windows a program is
// an ".exe" file.
Result start(const QString &path);

} // namespace Launcher
