#pragma once

#include <QDialog>

class QPainter;

// A two-page slide show of help images. Each mouse click pages on; a click past
// the last page hides the window and starts over at the first. What the pages say
// about bringing the window back, the settings and hiding depends on the desktop
// (a hotkey in force, a tray), so those lines are drawn over the images.
class HelpDlg : public QDialog
{
    Q_OBJECT

public:
    explicit HelpDlg(QWidget *parent = nullptr);

    int currentPage() const { return page; }

    // How the window comes back here: `hotkey` is the key or trigger in force (empty
    // when there is none), `tray` whether the tray icon exists, `command` the
    // program's command that a desktop can bind a key to.
    void setReach(const QString &hotkey, bool tray, const QString &command);

    // The lines drawn over the images, for the page shown: each with its rectangle.
    struct Line
    {
        QRect rect;
        QString text;
    };
    QList<Line> lines() const;
    // The hotkey's key cap on the first page; empty without a hotkey in force.
    QString keyCap() const;
    // Where the window draws over the page image shown: the lines and the key cap.
    QList<QRect> drawnAreas() const;

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void paintKeyCap(QPainter &painter) const;

    static constexpr int PageCount = 2;
    int page = 1;
    QString hotkey;
    bool tray = false;
    QString command;
};
