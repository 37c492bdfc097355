#pragma once

#include <QIcon>
#include <QList>
#include <QMetaType>
#include <QString>

// The value record of one catalog item as the catalog hands it out. It travels
// through QVariant under the registered type name "APPBLOCK".
struct APPBLOCK
{
    QString path;  // target file, forward slashes
    QString alias; // the shown and editable name
    QString info;  // version text of an uninstall entry, else empty
    QString key;   // the text that produced the record (highlighted in the alias)
    QString rowid; // the item's catalog row id as decimal text
    QString extra; // for an installed application found by what it is for: the
                   // generic name, keyword or command name that matched; else empty
    QIcon icon;    // filled only for top-list records
};

Q_DECLARE_METATYPE(APPBLOCK)

// The registered type id of APPBLOCK; registers the type on first use.
int appblockMetaType();

// The most launched items (at most four), filled by ItemDatabase::GetTopItems and
// read by the main window's top buttons.
extern QList<APPBLOCK> topItems;
