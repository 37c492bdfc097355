#include "qlistedit.h"

#include "popupwindows.h"
#include "scaledimages.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>

namespace {
const char *const Background = ":/images/EDITMAIN";
}

const char *const QListEdit::FieldStyle =
    "QLineEdit{border: 1px solid rgb(165, 165, 165);border-radius: 3px;"
    "background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:0.762, y2:1, "
    "stop:0 rgba(250, 248, 248, 255), stop:0.0222222 rgba(220, 220, 220, 255), "
    "stop:0.483471 rgba(240, 240, 240, 255), stop:0.982716 rgba(253, 253, 253, 255), "
    "stop:1 rgba(250, 249, 249, 255));}"
    "QLineEdit:hover:!pressed{border: 1px solid rgb(140, 215, 115);"
    "background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:0.762, y2:1, "
    "stop:0 rgba(250, 248, 248, 255), stop:0.0222222 rgba(236, 236, 236, 255), "
    "stop:0.483471 rgba(240, 240, 240, 255), stop:0.982716 rgba(253, 253, 253, 255), "
    "stop:1 rgba(250, 249, 249, 255));}";

const char *const QListEdit::ButtonStyle =
    "QPushButton{border: 1px solid rgb(250, 250, 250);border-radius: 3px;"
    "background-color: qlineargradient(spread:pad, x1:1, y1:1, x2:1, y2:0, "
    "stop:0 rgba(215, 215, 215, 255), stop:1 rgba(236, 236, 236, 255));}"
    "QPushButton:hover:!pressed{border: 1.5px solid rgb(140, 215, 115);"
    "background-color: qlineargradient(spread:pad, x1:1, y1:1, x2:1, y2:0, "
    "stop:0 rgba(250, 248, 248, 255), stop:0.02 rgba(220, 220, 220, 255), "
    "stop:0.98 rgba(253, 253, 253, 255), stop:1 rgba(250, 249, 249, 255));}"
    "QPushButton:hover:pressed{border: 1.5px solid rgb(140, 215, 115);"
    "background-color: qlineargradient(spread:pad, x1:1, y1:1, x2:1, y2:0, "
    "stop:0 rgba(245, 245, 245, 255), stop:1 rgba(226, 226, 226, 255));}";

QListEdit::QListEdit(QWidget *parent, const QString &text) : QDialog(parent)
{
    // Created in this order, which is also the tab order.
    okButton = new QPushButton(this);
    okButton->setObjectName(QStringLiteral("okButton"));
    cancelButton = new QPushButton(this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    textField = new QLineEdit(this);
    textField->setObjectName(QStringLiteral("textField"));

    QPalette pal;
    const QBrush background{
        ScaledImages::pixmap(QString::fromLatin1(Background), ScaledImages::applicationRatio())};
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setBrush(group, backgroundRole(), background);
    setPalette(pal);

    setWindowFlags(PopupWindows::keyboardPopupFlags());
    setWindowTitle(QStringLiteral("Rename Entry"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setFixedSize(270, 50);

    textField->setGeometry(15, 10, 200, 20);
    okButton->setGeometry(218, 14, 22, 22);
    cancelButton->setGeometry(242, 2, 16, 16);

    okButton->setIcon(QIcon(QStringLiteral(":/images/R")));
    cancelButton->setIcon(QIcon(QStringLiteral(":/images/W")));
    for (QPushButton *button : {okButton, cancelButton}) {
        button->setStyleSheet(QString::fromLatin1(ButtonStyle));
        button->setText(QString());
    }
    textField->setStyleSheet(QString::fromLatin1(FieldStyle));

    textField->setFocusPolicy(Qt::StrongFocus);
    textField->setText(text);
    setFocus();
    textField->setFocus();

    connect(okButton, &QPushButton::clicked, this, &QListEdit::ReplaceOver);
    connect(cancelButton, &QPushButton::clicked, this, &QListEdit::reject);
    for (QWidget *child : {static_cast<QWidget *>(okButton), static_cast<QWidget *>(cancelButton),
                           static_cast<QWidget *>(textField)})
        child->installEventFilter(this);
}

bool QListEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return QDialog::eventFilter(watched, event);
    const auto key = static_cast<QKeyEvent *>(event);
    const int code = key->key();
    if (!ReturnLatch::isReturn(code) && code != Qt::Key_Escape)
        return QDialog::eventFilter(watched, event);
    // The press only marks the key; its release confirms (Return or Enter, unless
    // on Cancel) or cancels (Escape).
    if (event->type() == QEvent::KeyPress) {
        closingKey.press(key);
    } else if (closingKey.release(key)) {
        if (code == Qt::Key_Escape || watched == cancelButton)
            reject();
        else
            ReplaceOver();
    }
    return true;
}

void QListEdit::ReplaceOver()
{
    newText = textField->text();
    accept();
}

void QListEdit::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    ScaledImages::drawBackground(painter, QString::fromLatin1(Background), devicePixelRatioF());
}
