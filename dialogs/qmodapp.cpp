#include "qmodapp.h"

#include "focusbutton.h"
#include "messagebox.h"
#include "qaddapp.h"
#include "spritestyle.h"

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

namespace {
const char *const Background = ":/images/MODAPP";
// The labels reach to the fields and share their rows, so the bold words and
// the large colon fit with the wider Linux fonts too.
constexpr int LabelX = 6;
constexpr int LabelWidth = 82;
constexpr int FieldX = LabelX + LabelWidth + 2;
} // namespace

qModapp::qModapp(const QString &oldName, QWidget *parent)
    : FramelessDialog(QString::fromLatin1(Background), parent), strOldName(oldName)
{
    setObjectName(QStringLiteral("qModapp"));
    setWindowTitle(QStringLiteral("Modify Application"));

    label = new QLabel(AppDialogLook::labelText(QStringLiteral("NAME")), this);
    label->setObjectName(QStringLiteral("label"));
    label->setGeometry(LabelX, 40, LabelWidth, 21);
    edtName = new QLineEdit(oldName, this);
    edtName->setObjectName(QStringLiteral("edtName"));
    edtName->setGeometry(FieldX, 40, 281, 21);
    edtName->setReadOnly(true);

    label_2 = new QLabel(AppDialogLook::labelText(QStringLiteral("NEW NAME")), this);
    label_2->setObjectName(QStringLiteral("label_2"));
    label_2->setGeometry(LabelX, 70, LabelWidth, 20);
    edtNew = new QLineEdit(oldName, this);
    edtNew->setObjectName(QStringLiteral("edtNew"));
    edtNew->setGeometry(FieldX, 70, 281, 20);
    for (QLineEdit *edit : {edtName, edtNew})
        edit->setStyleSheet(AppDialogLook::lineEditStyle());
    for (QLabel *l : {label, label_2})
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    btnOK = new FocusButton(this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(254, 112, 72, 33);
    btnOK->setStyleSheet(Sprites::buttonStyle(Sprites::DialogOk));
    btnOK->setDefault(true);

    btnCancel = new FocusButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(334, 112, 72, 33);
    btnCancel->setStyleSheet(Sprites::buttonStyle(Sprites::DialogCancel));
    btnCancel->setAutoDefault(false);

    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnOK, &QPushButton::clicked, this, &qModapp::acc);
    for (QWidget *child : {btnCancel, btnOK})
        child->installEventFilter(this);

    edtNew->setFocus();
    edtNew->selectAll();
}

void qModapp::acc()
{
    // A name of blanks only would be an item without a visible name.
    const QString name = edtNew->text().trimmed();
    if (name.isEmpty()) {
        edtNew->setFocus();
        MessageBoxes::information(this, QStringLiteral("Title"), QStringLiteral("Name can not be empty"));
        return;
    }
    strNewName = name;
    accept();
}
