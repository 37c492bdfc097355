#pragma once

#include <QString>

class QUrl;

// Starting catalog items and handing links to the desktop.
namespace Launcher {

// Starts the file as a detached process with no arguments and the launcher's
// working directory. A desktop entry (.desktop) is started as its application.
bool startDetached(const QString &path);

// Hands the URL to the desktop (browser, mail program, file association). A local
// desktop entry is started as its application, and a local executable file is
// started as a process rather than opened in an editor.
bool openUrl(const QUrl &url);

} // namespace Launcher
