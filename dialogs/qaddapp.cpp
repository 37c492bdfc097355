#include "qaddapp.h"

#include "focusbutton.h"
#include "messagebox.h"
#include "spritestyle.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

namespace AppDialogLook {

QString labelText(const QString &word)
{
    return QStringLiteral("<html><head/><body><p>"
                          "<span style=\" font-size:9pt; font-weight:600; color:#0f5c9f;\">%1</span>"
                          "<span style=\" font-size:12pt; font-weight:600; color:#0f5c9f;\">:</span>"
                          "</p></body></html>")
        .arg(word.toHtmlEscaped());
}

QString lineEditStyle()
{
    const auto gradient = [](const char *second) {
        return QStringLiteral("qlineargradient(spread:pad, x1:1, y1:0, x2:0.762, y2:1,"
                              " stop:0 rgb(250, 248, 248), stop:0.0222222 %1,"
                              " stop:0.483471 rgb(240, 240, 240), stop:0.982716 rgb(253, 253, 253),"
                              " stop:1 rgb(250, 249, 249))")
            .arg(QLatin1String(second));
    };
    return QStringLiteral("QLineEdit {border: 1px solid rgb(165, 165, 165); background: %1;}"
                          "QLineEdit:hover {border: 1px solid rgb(140, 215, 115); background: %2;}")
        .arg(gradient("rgb(220, 220, 220)"), gradient("rgb(236, 236, 236)"));
}

} // namespace AppDialogLook

namespace {
const char *const Background = ":/images/ADDAPP";
// The labels reach from near the left edge to the fields and share their rows,
// so the bold words and the large colon fit with the wider Linux fonts too.
constexpr int LabelX = 5;
constexpr int LabelWidth = 49;
} // namespace

qAddApp::qAddApp(QWidget *parent) : FramelessDialog(QString::fromLatin1(Background), parent)
{
    setObjectName(QStringLiteral("qAddApp"));
    setWindowTitle(QStringLiteral("Add Application"));

    label = new QLabel(AppDialogLook::labelText(QStringLiteral("NAME")), this);
    label->setObjectName(QStringLiteral("label"));
    label->setGeometry(LabelX, 41, LabelWidth, 21);
    edtName = new QLineEdit(this);
    edtName->setObjectName(QStringLiteral("edtName"));
    edtName->setGeometry(55, 41, 281, 21);

    label_2 = new QLabel(AppDialogLook::labelText(QStringLiteral("PATH")), this);
    label_2->setObjectName(QStringLiteral("label_2"));
    label_2->setGeometry(LabelX, 69, LabelWidth, 20);
    edtPath = new QLineEdit(this);
    edtPath->setObjectName(QStringLiteral("edtPath"));
    edtPath->setGeometry(55, 69, 281, 20);
    edtPath->setReadOnly(true);
    for (QLineEdit *edit : {edtName, edtPath})
        edit->setStyleSheet(AppDialogLook::lineEditStyle());
    for (QLabel *l : {label, label_2})
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    btnPath = new FocusButton(this);
    btnPath->setObjectName(QStringLiteral("btnPath"));
    btnPath->setGeometry(342, 68, 72, 23);
    btnPath->setStyleSheet(Sprites::buttonStyle(Sprites::PathBtn));
    btnPath->setAutoDefault(false);
    btnPath->setToolTip(tr("Choose the program file"));

    btnOK = new FocusButton(this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(250, 110, 72, 30);
    btnOK->setStyleSheet(Sprites::buttonStyle(Sprites::DialogOk));
    btnOK->setDefault(true);

    btnCancel = new FocusButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(330, 110, 72, 30);
    btnCancel->setStyleSheet(Sprites::buttonStyle(Sprites::DialogCancel));
    btnCancel->setAutoDefault(false);

    connect(btnPath, &QPushButton::clicked, this, &qAddApp::ChangePath);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnOK, &QPushButton::clicked, this, &qAddApp::Ensure);
    for (QWidget *child : {btnPath, btnOK, btnCancel})
        child->installEventFilter(this);

    edtName->setFocus();
}

void qAddApp::ChangePath()
{
    // "*" rather than "*.*": programs on Linux mostly have no extension, and "*.*"
    // would hide them; on Windows both match every file.
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Open Document"),
                                                      QDir::currentPath(), QStringLiteral("All files(*)"));
    if (file.isNull())
        return;

    const QFileInfo info(file);
    const QString name = info.isSymLink() ? QFileInfo(info.absoluteFilePath()).fileName() : info.fileName();
    edtName->setText(name);
    strName = name;
    edtPath->setText(file);
    // Separators become forward slashes; only on Windows is a backslash one.
    strPath = QDir::fromNativeSeparators(file);
}

void qAddApp::Ensure()
{
    // A name of blanks only would be an item without a visible name.
    const QString name = edtName->text().trimmed();
    if (name.isEmpty()) {
        edtName->setFocus();
        MessageBoxes::information(this, QStringLiteral("Title"), QStringLiteral("Name can not be empty"));
        return;
    }
    strName = name;
    accept();
}
