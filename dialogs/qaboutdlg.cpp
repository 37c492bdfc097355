#include "qaboutdlg.h"

#include "spritestyle.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>

namespace {

const char *const Background = ":/images/ABOUT";

QLabel *addLabel(QWidget *parent, const char *name, const QRect &rect, const QString &text)
{
    auto label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(rect);
    return label;
}

// Makes the labels' texts fit their fixed widths, whatever fonts the desktop has:
// the largest of a few pixel sizes at which every one does, the same for all.
void fitWidths(const QList<QLabel *> &labels)
{
    QFont font = labels.first()->font();
    for (int pixels : {13, 12, 11, 10}) {
        font.setPixelSize(pixels);
        bool fits = true;
        for (QLabel *label : labels) {
            label->setFont(font);
            fits = fits && label->sizeHint().width() <= label->width();
        }
        if (fits)
            return;
    }
}

QString link(const QString &href, const QString &text)
{
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(href.toHtmlEscaped(), text.toHtmlEscaped());
}

} // namespace

const char *const QAboutDlg::HomePageUrl = "https://tolvane.example.org/";
const char *const QAboutDlg::SupportMail = "support@tolvane.example.org";

QAboutDlg::QAboutDlg(QWidget *parent) : FramelessDialog(QString::fromLatin1(Background), parent)
{
    setObjectName(QStringLiteral("QAboutDlg"));
    setWindowTitle(QStringLiteral("About Tolvane"));

    QLabel *text = addLabel(this, "labelText", QRect(20, 45, 260, 46),
                            QStringLiteral("Thank you for use and support. \r\nIf you have any questions "
                                           "please do not hesitate to contact me."));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // The text column ends left of the logo and its painted name, and of the close button.
    addLabel(this, "labelVersion", QRect(20, 100, 265, 20), QStringLiteral("VERSION: 1.0"));

    const QString home = QLatin1String(HomePageUrl);
    const QString mail = QLatin1String(SupportMail);
    QLabel *homeLabel = addLabel(this, "labelHome", QRect(20, 130, 270, 20),
                                 link(home, QStringLiteral("Home Page: ") + home));
    QLabel *mailLabel =
        addLabel(this, "labelEmail", QRect(20, 150, 270, 20),
                 link(QStringLiteral("mailto:") + mail, QStringLiteral("Support Email: ") + mail));
    // With openExternalLinks on, a click opens the link through the desktop services
    // and QLabel does not emit linkActivated for it; the slots below open a link
    // that reaches them by the signal. Either way a click opens it once.
    for (QLabel *label : {homeLabel, mailLabel}) {
        label->setTextFormat(Qt::RichText);
        label->setOpenExternalLinks(true);
    }
    fitWidths({homeLabel, mailLabel});
    connect(homeLabel, &QLabel::linkActivated, this, &QAboutDlg::OpenHomePage);
    connect(mailLabel, &QLabel::linkActivated, this, &QAboutDlg::OpenEmail);

    auto close = new QPushButton(this);
    close->setObjectName(QStringLiteral("btnClose"));
    close->setGeometry(295, 145, 72, 33);
    close->setFocusPolicy(Qt::NoFocus);
    close->setStyleSheet(Sprites::buttonStyle(Sprites::DialogOk));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    close->installEventFilter(this);
}

void QAboutDlg::OpenHomePage(QString strUrl)
{
    QDesktopServices::openUrl(QUrl(strUrl));
}

void QAboutDlg::OpenEmail(QString strUrl)
{
    QDesktopServices::openUrl(QUrl(strUrl));
}
