#pragma once

#include <QDialog>

// A two-page slide show of help images. Each mouse click pages on; a click past
// the last page hides the window and starts over at the first.
class HelpDlg : public QDialog
{
    Q_OBJECT

public:
    explicit HelpDlg(QWidget *parent = nullptr);

    int currentPage() const { return page; }

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int PageCount = 2;
    int page = 1;
};
