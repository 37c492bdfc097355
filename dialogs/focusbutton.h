#pragma once

#include <QPushButton>

// A push button that draws a ring inside its edge while it has the keyboard focus.
// The dialogs' buttons show sprite faces (style-sheet border images), which have
// no look for the focus of their own, so a keyboard user could not see where Tab
// has gone.
class FocusButton : public QPushButton
{
    Q_OBJECT

public:
    explicit FocusButton(QWidget *parent = nullptr);

    // The colour of the ring: amber, which stands out on the blue and the white faces.
    static QColor ringColour();

protected:
    void paintEvent(QPaintEvent *event) override;
};
