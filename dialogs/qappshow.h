#pragma once

#include "appblock.h"

#include "framelessdialog.h"

#include <QList>
#include <QModelIndex>
#include <QSet>
#include <QString>

class QPushButton;
class QTableWidget;
class QTableWidgetItem;

// The application manager: every catalog item as a name and a path in a sortable
// table, with buttons to add a program, rename an item and delete items. Nothing
// is written here: the changes collect in pendingChanges, which the caller applies
// to the catalog only after an accepted run.
class QAppshow : public FramelessDialog
{
    Q_OBJECT

public:
    explicit QAppshow(QWidget *parent = nullptr);
    ~QAppshow() override;

    // Fills the table with the catalog's items, in the order given. Called once,
    // before the dialog runs.
    void SetItems(const QList<APPBLOCK> &items);

    // Changes in the order made, at most one per path: `path` names the item,
    // `alias` the new name, or is empty when the item is to be deleted.
    QList<APPBLOCK> pendingChanges;

public slots:
    void AddNew();
    void del();
    void ModifyFromDbClick(QModelIndex index);
    void ModifyFromBtn();
    void timerUpData();
    void RefreshAppTool();
    void ShowTooltip(QTableWidgetItem *twi);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    void buildForm();
    void rename(int row);
    // Activates the manager again after one of its own dialogs closed.
    void takeKeyboardBack();
    // Runs `change` on the table with sorting off, then sorts again by the active
    // sort column (if any), so cells of one row stay together.
    template <typename F> void withSortingPaused(F change);
    int indexOfPending(const QString &path) const;

    QTableWidget *listShow = nullptr;
    QPushButton *btnAdd = nullptr;
    QPushButton *btnDelete = nullptr;
    QPushButton *btnModify = nullptr;
    QPushButton *btnEnsure = nullptr;
    QPushButton *btnCancel = nullptr;

    bool firstShow = true;
    // Paths that came from the catalog, to tell a renamed catalog item from a
    // program added in this run.
    QSet<QString> catalogPaths;
};
