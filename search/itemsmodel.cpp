#include "itemsmodel.h"

ItemsModel::ItemsModel(QObject *parent) : QAbstractListModel(parent) {}

ItemsModel::~ItemsModel() = default;

int ItemsModel::rowCount(const QModelIndex &parent) const
{
    // A flat list: rows have no children of their own.
    if (parent.isValid())
        return 0;
    return int(items.size());
}

QVariant ItemsModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || index.row() < 0 || index.row() >= items.size())
        return QVariant();
    return QVariant(QMetaType(appblockMetaType()), &items.at(index.row()));
}

void ItemsModel::setItems(const QList<APPBLOCK> &list)
{
    beginResetModel();
    items = list;
    endResetModel();
}

void ItemsModel::RefreshLayout()
{
    emit layoutChanged();
}
