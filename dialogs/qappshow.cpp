#include "qappshow.h"

#include "fileicons.h"
#include "focusbutton.h"
#include "installedapps.h"
#include "messagebox.h"
#include "qaddapp.h"
#include "qmodapp.h"
#include "scaledimages.h"
#include "spritestyle.h"

#include <QCollator>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

namespace {

const char *const Background = ":/images/ATMAN";
constexpr int IconDelayMs = 800;

const char *const TableStyle =
    "QHeaderView::section {spacing: 10px; background-color: white; color: #4285a6;"
    " border: 1px solid #fffeee; margin: 1px; font-family: Arial; font-size: 12px;}"
    "QScrollBar:vertical {width: 15px; border: 1px solid #ff4b67; padding-top: 15px;"
    " padding-bottom: 15px;}"
    "QScrollBar::handle:vertical {min-height: 70px; border-image: url(:/images/VSHAND) 0 30 0 0 0;}"
    "QScrollBar::handle:vertical:hover {border-image: url(:/images/VSHAND) 0 15 0 15 0;}"
    "QScrollBar::handle:vertical:disabled {background: #232329;}"
    "QScrollBar::add-line:vertical {height: 15px; background: #F21215;"
    " subcontrol-position: bottom; subcontrol-origin: margin;}"
    "QScrollBar::sub-line:vertical {height: 15px; background: #FFFFFF;"
    " subcontrol-position: top; subcontrol-origin: margin;}"
    "QScrollBar::up-arrow:vertical, QScrollBar::down-arrow:vertical"
    " {border-image: url(:/images/SBTN) 0 0 30 0 0;}";

APPBLOCK change(const QString &path, const QString &alias)
{
    APPBLOCK entry;
    entry.path = path;
    entry.alias = alias;
    return entry;
}

QIcon iconOf(const QString &path)
{
    return FileIcons::icon(QFileInfo(path));
}

// The order people read lists in: letter case aside, accented letters with their
// base letter, numbers by their value ("item 9" before "item 10"). The user's
// language decides the details; without one (the C locale) the common order of
// Unicode's collation does.
const QCollator &readingOrder()
{
    static const QCollator collator = [] {
        QLocale locale;
        if (locale.language() == QLocale::C)
            locale = QLocale(QLocale::English);
        QCollator c(locale);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(true);
        return c;
    }();
    return collator;
}

// A cell of the table, sorted in reading order.
class Cell : public QTableWidgetItem
{
public:
    using QTableWidgetItem::QTableWidgetItem;

    bool operator<(const QTableWidgetItem &other) const override
    {
        return readingOrder().compare(text(), other.text()) < 0;
    }
};

// Marks a name cell whose icon the deferred fill has set (or that got it at once).
constexpr int IconSetRole = Qt::UserRole + 2;

// The path column shows what an item starts (a desktop entry's command); the
// cell keeps the item's path, which is what every change is about.
constexpr int PathRole = Qt::UserRole + 1;

QTableWidgetItem *newPathCell(const QString &path)
{
    auto cell = new Cell(InstalledApps::shownPath(path));
    cell->setData(PathRole, path);
    return cell;
}

QString pathOf(const QTableWidgetItem *cell)
{
    return cell ? cell->data(PathRole).toString() : QString();
}

} // namespace

QAppshow::QAppshow(QWidget *parent) : FramelessDialog(QString::fromLatin1(Background), parent)
{
    buildForm();

    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnAdd, &QPushButton::clicked, this, &QAppshow::AddNew);
    connect(btnModify, &QPushButton::clicked, this, &QAppshow::ModifyFromBtn);
    connect(btnDelete, &QPushButton::clicked, this, &QAppshow::del);
    connect(listShow, &QTableWidget::doubleClicked, this, &QAppshow::ModifyFromDbClick);
    connect(btnEnsure, &QPushButton::clicked, this, &QAppshow::RefreshAppTool);
    connect(listShow, &QTableWidget::itemChanged, this, &QAppshow::ShowTooltip);

    for (QWidget *child : {static_cast<QWidget *>(btnAdd), static_cast<QWidget *>(btnCancel),
                           static_cast<QWidget *>(btnDelete), static_cast<QWidget *>(btnEnsure),
                           static_cast<QWidget *>(btnModify), static_cast<QWidget *>(listShow)})
        child->installEventFilter(this);
}

QAppshow::~QAppshow() = default;

void QAppshow::buildForm()
{
    setObjectName(QStringLiteral("appshow"));
    setWindowTitle(QStringLiteral("Tolvane Application Manager"));
    setWindowModality(Qt::WindowModal);
    setContextMenuPolicy(Qt::NoContextMenu);

    listShow = new QTableWidget(this);
    listShow->setObjectName(QStringLiteral("listShow"));
    listShow->setGeometry(10, 40, 461, 301);
    listShow->setFrameShape(QFrame::Box);
    listShow->setFrameShadow(QFrame::Raised);
    listShow->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listShow->setAlternatingRowColors(true);
    listShow->setSelectionMode(QAbstractItemView::SingleSelection);
    listShow->setSelectionBehavior(QAbstractItemView::SelectRows);
    listShow->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    listShow->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    listShow->verticalHeader()->hide();
    // One line per row; long paths lose their middle, the tooltip holds the whole.
    listShow->setWordWrap(false);
    listShow->setTextElideMode(Qt::ElideMiddle);
    listShow->setColumnCount(2);
    listShow->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Path")});
    QHeaderView *header = listShow->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    listShow->setColumnWidth(0, 180);
    listShow->setColumnWidth(1, 260);
    // Slices of the 2x images on scaled screens.
    listShow->setStyleSheet(
        ScaledImages::styleSheet(QLatin1String(TableStyle), ScaledImages::applicationRatio()));
    // Sorting on, but no sort column until the user clicks a header: the rows keep
    // the catalog's order, and the first click on a header sorts ascending.
    listShow->setSortingEnabled(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);

    // Tab goes from the table through the buttons (in this order) and back; the
    // button with the focus shows it, and Return or Space presses it. None of them
    // becomes the dialog's default button: Return in the table renames.
    listShow->setTabKeyNavigation(false);
    const auto button = [this](const char *name, int x, const Sprite &sprite) {
        auto b = new FocusButton(this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(x, 356, 72, 33);
        b->setStyleSheet(Sprites::buttonStyle(sprite));
        b->setAutoDefault(false);
        return b;
    };
    btnAdd = button("btnAdd", 78, Sprites::ManagerAdd);
    btnDelete = button("btnDelete", 158, Sprites::ManagerDelete);
    btnModify = button("btnModify", 238, Sprites::ManagerModify);
    btnEnsure = button("btnEnsure", 318, Sprites::ManagerOk);
    btnCancel = button("btnCancel", 398, Sprites::ManagerCancel);
    btnAdd->setToolTip(tr("Add a program"));
    btnDelete->setToolTip(tr("Delete the selected item"));
    btnModify->setToolTip(tr("Rename the selected item"));
    btnEnsure->setToolTip(tr("Save the changes"));
    btnCancel->setToolTip(tr("Discard the changes"));
}

template <typename F> void QAppshow::withSortingPaused(F change)
{
    const bool sorting = listShow->isSortingEnabled();
    listShow->setSortingEnabled(false);
    change();
    // Turning sorting back on sorts by the header's indicator; without an active
    // sort column the rows stay as they are.
    listShow->setSortingEnabled(sorting);
}

void QAppshow::SetItems(const QList<APPBLOCK> &items)
{
    withSortingPaused([&] {
        listShow->clear();
        listShow->setColumnCount(2);
        listShow->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Path")});
        listShow->setColumnWidth(0, 180);
        listShow->setColumnWidth(1, 260);
        listShow->setRowCount(int(items.size()));
        catalogPaths.clear();
        for (int i = 0; i < items.size(); ++i) {
            const APPBLOCK &record = items.at(i);
            listShow->setItem(i, 0, new Cell(record.icon, record.alias));
            listShow->setItem(i, 1, newPathCell(record.path));
            catalogPaths.insert(record.path);
        }
    });
    listShow->selectRow(0);
}

int QAppshow::indexOfPending(const QString &path) const
{
    for (int i = 0; i < pendingChanges.size(); ++i) {
        if (pendingChanges.at(i).path == path)
            return i;
    }
    return -1;
}

void QAppshow::AddNew()
{
    // Parentless: the frameless flags carry no window type, so a dialog with a
    // parent would turn into a child widget of the manager.
    qAddApp dialog(nullptr);
    const int result = dialog.exec();
    takeKeyboardBack();
    if (result != QDialog::Accepted)
        return;
    const QString path = dialog.chosenPath();
    const QString name = dialog.chosenName();

    for (int row = 0; row < listShow->rowCount(); ++row) {
        if (pathOf(listShow->item(row, 1)) == path) {
            MessageBoxes::information(this, QStringLiteral("Title"),
                                      QStringLiteral("the application already exists."));
            return;
        }
    }

    withSortingPaused([&] {
        const int row = listShow->rowCount();
        listShow->insertRow(row);
        auto nameCell = new Cell(iconOf(path), name);
        nameCell->setData(IconSetRole, true);
        listShow->setItem(row, 0, nameCell);
        listShow->setItem(row, 1, newPathCell(path));
    });
    listShow->scrollToBottom();

    // A path not in the table may still have an entry: the deletion of a catalog
    // item whose row was removed earlier in this run. Adding it again replaces
    // that deletion, so the path keeps one entry.
    const int pending = indexOfPending(path);
    if (pending >= 0)
        pendingChanges.removeAt(pending);
    pendingChanges.append(change(path, name));
}

void QAppshow::takeKeyboardBack()
{
    // The add and rename dialogs are windows of their own, and nothing hands the
    // keyboard back when they close (on X11 without a window manager no window
    // would have it): the manager takes it, so keys go on working here.
    if (isVisible())
        activateWindow();
}

void QAppshow::ModifyFromBtn()
{
    rename(listShow->currentRow());
}

void QAppshow::ModifyFromDbClick(QModelIndex index)
{
    rename(index.row());
}

void QAppshow::rename(int row)
{
    if (row < 0 || row >= listShow->rowCount())
        return;
    QTableWidgetItem *nameCell = listShow->item(row, 0);
    QTableWidgetItem *pathCell = listShow->item(row, 1);
    const QString oldName = nameCell ? nameCell->text() : QString();
    const QString path = pathOf(pathCell);

    qModapp dialog(oldName, nullptr);
    const int result = dialog.exec();
    takeKeyboardBack();
    if (result != QDialog::Accepted)
        return;
    const QString newName = dialog.newName();
    if (newName == oldName)
        return;

    // The row may have moved while the rename dialog ran (nothing sorts then, but
    // find it again by its path cell to be sure).
    if (listShow->item(row, 1) != pathCell) {
        row = pathCell ? listShow->row(pathCell) : -1;
        if (row < 0)
            return;
    }
    withSortingPaused([&] {
        auto nameCell = new Cell(iconOf(path), newName);
        nameCell->setData(IconSetRole, true);
        listShow->setItem(row, 0, nameCell);
    });

    const int pending = indexOfPending(path);
    if (pending >= 0)
        pendingChanges.removeAt(pending);
    pendingChanges.append(change(path, newName));
}

void QAppshow::del()
{
    const int row = listShow->currentRow();
    if (row < 0)
        return;
    const QString path = pathOf(listShow->item(row, 1));
    listShow->removeRow(row);

    const int pending = indexOfPending(path);
    if (pending < 0) {
        pendingChanges.append(change(path, QString()));
    } else if (catalogPaths.contains(path)) {
        // A catalog item renamed in this run: the rename gives way to its deletion.
        pendingChanges[pending] = change(path, QString());
    } else {
        // Added in this run: dropping the addition is all it takes.
        pendingChanges.removeAt(pending);
    }
}

void QAppshow::RefreshAppTool()
{
    accept();
}

void QAppshow::ShowTooltip(QTableWidgetItem *twi)
{
    if (twi && twi->toolTip() != twi->text())
        twi->setToolTip(twi->text());
}

void QAppshow::timerUpData()
{
    // The event loop runs between rows, so the user may delete rows, add them, sort
    // the table, or end or even destroy the dialog in the middle of the fill. When
    // the rows change places the walk starts over from the top, passing the rows
    // that have their icon; it stops once the dialog is gone or closed.
    const QPointer<QAppshow> self(this);
    QAbstractItemModel *rows = listShow->model();
    bool moved = false;
    const auto restart = [&moved] { moved = true; };
    const QList<QMetaObject::Connection> watches{
        connect(rows, &QAbstractItemModel::rowsRemoved, this, restart),
        connect(rows, &QAbstractItemModel::rowsInserted, this, restart),
        connect(rows, &QAbstractItemModel::layoutChanged, this, restart),
        connect(rows, &QAbstractItemModel::modelReset, this, restart)};

    for (int row = 0; row < listShow->rowCount(); ++row) {
        QTableWidgetItem *nameCell = listShow->item(row, 0);
        const QTableWidgetItem *pathCell = listShow->item(row, 1);
        if (!nameCell || !pathCell || nameCell->data(IconSetRole).toBool())
            continue;
        QCoreApplication::processEvents();
        if (!self)
            return;
        if (!isVisible())
            break;
        if (moved) {
            moved = false;
            row = -1;
            continue;
        }
        // Setting the icon on the existing cell keeps the row where it is; a new
        // cell in a sorted column could move it under the walk.
        nameCell->setIcon(iconOf(pathOf(pathCell)));
        nameCell->setData(IconSetRole, true);
    }
    for (const QMetaObject::Connection &watch : watches)
        disconnect(watch);
}

bool QAppshow::eventFilter(QObject *watched, QEvent *event)
{
    // In the table, F2 and Return (or Enter) rename the current row.
    if (watched == listShow && event->type() == QEvent::KeyPress) {
        const auto key = static_cast<QKeyEvent *>(event);
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (plain &&
            (key->key() == Qt::Key_F2 || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            ModifyFromBtn();
            return true;
        }
    }
    if (event->type() == QEvent::Show && firstShow) {
        firstShow = false;
        QTimer::singleShot(IconDelayMs, this, &QAppshow::timerUpData);
    }
    return FramelessDialog::eventFilter(watched, event);
}

void QAppshow::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete)
        del();
    else
        event->ignore();
}
