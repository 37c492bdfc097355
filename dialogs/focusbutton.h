#pragma once

#include "returnlatch.h"

#include <QPushButton>

// A push button that draws a ring inside its edge while it has the keyboard focus,
// and that Return presses as well as Space. The dialogs' buttons show sprite faces
// (style-sheet border images), which have no look for the focus of their own, so
// a keyboard user could not see where Tab has gone; and a button that is not the
// dialog's default would let Return through to the dialog's default button. Like
// Space, Return acts when it is released: a button that closes its window must not
// leave the key's release to the window that gets the keyboard next (the main
// window starts the chosen item on the release of Return).
class FocusButton : public QPushButton
{
    Q_OBJECT

public:
    explicit FocusButton(QWidget *parent = nullptr);

    // The colour of the ring: amber, which stands out on the blue and the white faces.
    static QColor ringColour();

private:
    // Return or Enter pressed here and not yet released.
    ReturnLatch returnLatch;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
