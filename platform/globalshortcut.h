#pragma once

#include <QKeySequence>
#include <QObject>

#include <memory>

// A system-wide key combination. Under X11 the key is grabbed on the root window
// (also with Caps Lock and Num Lock held). On platforms or sessions where no grab
// is possible (Wayland, offscreen) registration reports failure.
class GlobalShortcut : public QObject
{
    Q_OBJECT

public:
    explicit GlobalShortcut(QObject *parent = nullptr);
    ~GlobalShortcut() override;

    // Releases the previous combination, then registers the new one. Returns false
    // for an empty sequence, a key without a key code or a grab the system refuses.
    bool setShortcut(const QKeySequence &shortcut);
    QKeySequence shortcut() const;

signals:
    void activated();

private:
    class Private;
    std::unique_ptr<Private> d;
};
