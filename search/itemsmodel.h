#pragma once

#include "appblock.h"

#include <QAbstractListModel>
#include <QList>

// The flat list model behind the result popup: one catalog record per row,
// handed out as an "APPBLOCK" value under the display role.
class ItemsModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit ItemsModel(QObject *parent = nullptr);
    ~ItemsModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Replaces every row by `list` and tells attached views to read the rows again,
    // so a view always shows exactly the rows of the last query.
    void setItems(const QList<APPBLOCK> &list);

    // Announces a relayout of all rows (layoutChanged) and does nothing else.
    void RefreshLayout();

    // The rows, in display order.
    QList<APPBLOCK> items;
};
