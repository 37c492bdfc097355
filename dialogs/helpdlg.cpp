#include "helpdlg.h"

#include "frameless.h"

#include <QImageReader>
#include <QPixmap>

HelpDlg::HelpDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HelpDlg"));
    setWindowTitle(QStringLiteral("Dialog"));
    // The pages are drawn from the resources when the window paints; the window
    // is built at start but rarely shown, so only the first page's size is read here.
    Frameless::setup(this, QPixmap());
    setFixedSize(QImageReader(QStringLiteral(":/images/HELP1")).size());
}

void HelpDlg::mouseReleaseEvent(QMouseEvent *)
{
    ++page;
    if (page > PageCount) {
        hide();
        page = 1;
    }
    update();
}

void HelpDlg::paintEvent(QPaintEvent *)
{
    Frameless::paintBackground(this, QStringLiteral(":/images/HELP%1").arg(page));
}
