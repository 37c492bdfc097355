#include "helpdlg.h"

#include "frameless.h"

#include <QPixmap>

HelpDlg::HelpDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HelpDlg"));
    setWindowTitle(QStringLiteral("Dialog"));
    Frameless::setup(this, QPixmap(QStringLiteral(":/images/HELP1")));
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
