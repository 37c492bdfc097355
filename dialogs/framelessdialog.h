#pragma once

#include <QDialog>
#include <QString>

// A frameless dialog drawn over a background image (see Frameless::setup), which
// the user moves by dragging its top band. The dialog installs itself as the
// event filter of the children whose presses must never start a drag; a subclass
// that filters events of its own passes the rest on to this class's filter.
class FramelessDialog : public QDialog
{
    Q_OBJECT

public:
    // `background`: the resource path of the image behind the window, which also
    // gives the window its size.
    explicit FramelessDialog(const QString &background, QWidget *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString background;
    // Where in the window the drag took hold; nDragX is Frameless::NoDrag when
    // the last press may not move the window.
    int nDragX = 0;
    int nDragY = 0;
};
