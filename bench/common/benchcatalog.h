#pragma once

// Catalog contents shared by the benchmarks: names made of vendor, product and
// role words (as installed applications are named), the words typed one letter
// at a time, and a filler that builds a catalog of any size quickly.

#include "itemdatabase.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QTextStream>

#include <functional>

namespace BenchCatalog {

inline const QStringList Vendors = {"GNU",    "Libre",    "Open",    "KDE",       "GNOME",  "Mozilla",
                                    "Free",   "Visual",   "Adobe",   "Microsoft", "Oracle", "Apache",
                                    "Google", "Audacity", "Blender", "Inkscape",  "Xfce",   "Qt",
                                    "Java",   "Python",   "Steam",   "VLC",       "Wine",   "Zoom"};
inline const QStringList Products = {
    "Office", "Image",   "Sound",    "Video",   "Text",     "Music",    "Photo",   "Disk",
    "File",   "Network", "System",   "Font",    "Screen",   "Terminal", "Mail",    "Web",
    "Code",   "Game",    "Map",      "Chart",   "Database", "Archive",  "Package", "Print",
    "Color",  "Clock",   "Calendar", "Contact", "Password", "Remote",   "Virtual", "Backup"};
inline const QStringList Roles = {"Writer",     "Editor",    "Viewer",
                                  "Manager",    "Player",    "Recorder",
                                  "Browser",    "Studio",    "Manipulation Program",
                                  "Calculator", "Monitor",   "Converter",
                                  "Designer",   "Client",    "Server",
                                  "Tool",       "Assistant", "Explorer",
                                  "Launcher",   "Settings",  "Center",
                                  "Analyzer",   "Scanner",   "Builder",
                                  "Console",    "Organizer"};
// Typed one letter at a time; a few start with a capital, one matches nothing.
inline const QStringList Typed = {"writer", "image", "libre", "gnu",    "term",  "calc", "video", "firefox",
                                  "Mail",   "disk",  "code",  "player", "sound", "Edit", "zoom",  "office"};

inline QString itemName(QRandomGenerator &random, int i)
{
    QString name = Vendors[random.bounded(Vendors.size())] + QLatin1Char(' ') +
                   Products[random.bounded(Products.size())] + QLatin1Char(' ') +
                   Roles[random.bounded(Roles.size())];
    if (random.bounded(4) == 0)
        name += QLatin1Char(' ') + QString::number(i % 100);
    return name;
}

// The names of a catalog of `count` items, in insertion order.
inline QStringList names(int count)
{
    QRandomGenerator random(1234);
    QStringList list;
    for (int i = 0; i < count; ++i)
        list.append(itemName(random, i));
    return list;
}

// Fills the open (empty) catalog with `count` items through AddItem's insert, in
// one transaction. `pathOf(i)` names item i's file.
inline void fill(int count, const std::function<QString(int)> &pathOf)
{
    const QStringList aliases = names(count);
    QSqlDatabase db = QSqlDatabase::database();
    db.transaction();
    QSqlQuery insert;
    insert.prepare(QStringLiteral("INSERT INTO ITEMBOX (path,alias,type,info,ind) values(?,?,?,?,?)"));
    for (int i = 0; i < count; ++i) {
        insert.addBindValue(pathOf(i));
        insert.addBindValue(aliases[i]);
        insert.addBindValue(QStringLiteral("APP"));
        insert.addBindValue(QString());
        insert.addBindValue(ItemDatabase::SpaceText(aliases[i]));
        insert.exec();
    }
    db.commit();
}

// Writes `count` desktop entries app<i>.desktop into `folder`, named as the
// catalog names them; every other one has its icon as an image file, the rest
// name a theme icon.
inline void writeDesktopEntries(const QString &folder, int count, int seed = 99)
{
    QDir().mkpath(folder);
    const QString iconFile = folder + QStringLiteral("/app-icon.png");
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(QColor(60, 120, 200));
    image.save(iconFile);
    QRandomGenerator random(seed);
    for (int i = 0; i < count; ++i) {
        QFile entry(folder + QStringLiteral("/app%1.desktop").arg(i));
        entry.open(QIODevice::WriteOnly);
        QTextStream(&entry) << "[Desktop Entry]\nType=Application\nName=" << itemName(random, i)
                            << "\nExec=/usr/bin/true %U\nIcon="
                            << (i % 2 ? iconFile : QStringLiteral("application-x-executable"))
                            << "\nCategories=Utility;\n";
    }
}

// Words that installed applications give as generic names and keywords.
inline const QStringList KeywordWords = {
    "web",    "internet", "browser", "firefox",    "zip",    "tar",         "archive",  "shell",
    "prompt", "command",  "text",    "editor",     "image",  "graphics",    "paint",    "audio",
    "music",  "movie",    "mail",    "email",      "math",   "spreadsheet", "document", "partition",
    "ide",    "game",     "zoom",    "screenshot", "backup", "scanner",     "chat",     "calendar"};

// Writes `count` application desktop entries app<i>.desktop into `folder`, as
// installed applications carry them: Name=names[i], a GenericName, four Keywords
// and a command of its own.
inline void writeKeywordEntries(const QString &folder, const QStringList &names, int count, int seed = 7)
{
    QDir().mkpath(folder);
    // GIO lists an entry only when its program exists: one small script each.
    const QString programs = folder + QStringLiteral("-bin");
    QDir().mkpath(programs);
    QRandomGenerator random(seed);
    for (int i = 0; i < count; ++i) {
        const QString program = programs + QStringLiteral("/bench-tool-%1").arg(i);
        QFile script(program);
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QStringList keywords;
        for (int k = 0; k < 4; ++k)
            keywords.append(KeywordWords[random.bounded(KeywordWords.size())]);
        QFile entry(folder + QStringLiteral("/app%1.desktop").arg(i));
        entry.open(QIODevice::WriteOnly);
        QTextStream(&entry) << "[Desktop Entry]\nType=Application\nName=" << names[i]
                            << "\nGenericName=" << Products[random.bounded(Products.size())] << ' '
                            << Roles[random.bounded(Roles.size())] << "\nKeywords=" << keywords.join(';')
                            << ";\nExec=" << program << " %U\nIcon=application-x-executable\n";
    }
}

} // namespace BenchCatalog
