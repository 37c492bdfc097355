#pragma once

#include <QDBusConnection>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>

// A test's handle on the private GNOME Shell that tests/support/run-gnome.sh
// starts: JavaScript in the shell (org.gnome.Shell.Eval, open in unsafe mode),
// screenshots, and a keyboard and pointer through mutter's remote desktop, one
// session for the whole test (the seat's keyboard exists only while it lasts).
class GnomeShell
{
public:
    GnomeShell();
    ~GnomeShell();

    // Whether the test runs inside the runner's shell.
    static bool isRunning();
    // The environment of the shell's session (its HOME, XDG folders, runtime
    // folder, Wayland display), in which programs must run to share its settings
    // database and single-instance sockets with what the shell starts.
    static QProcessEnvironment sessionEnvironment();

    // A GTK program titled "Marker Pad" (one copy: a second start asks the first to
    // present its window) in `dir`, with its desktop entry in the session's
    // applications folder. Each activation appends a line to <dir>/activations.log;
    // each time its window gets the keyboard, "<monotonic ns> focus" to <dir>/focus.log.
    // Returns the command that starts it.
    static QStringList writeMarkerApp(const QString &dir);

    // Runs JavaScript in the shell; its result as JSON text, or "!error" text.
    QString eval(const QString &script) const;
    // The title of the window with the keyboard focus ("" for none).
    QString focusedTitle() const;
    // The frame of the focused window on the screen.
    QRect focusedFrame() const;
    // Gives the keyboard to the first window with this title.
    void activate(const QString &title) const;
    // Titles of the message tray's notification sources.
    QString notificationTitles() const;
    // Writes a PNG of the screen (or of `area`) to `file`.
    bool screenshot(const QString &file, const QRect &area = QRect()) const;

    // Starts the remote-desktop session; false when mutter refused.
    bool startInput();
    // Presses and releases the keys ("Control_L+Alt_L+q" holds the first ones).
    void press(const QString &keys) const;
    // Types text of letters, digits and spaces.
    void type(const QString &text) const;

private:
    void keysym(quint32 sym, bool down) const;

    QDBusConnection bus;
    QString session;
};
