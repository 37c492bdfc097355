#pragma once

#include "installedapps.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

// Finds installed applications by what they are for: their generic name, a
// keyword or their command's name, with a word that begins with the typed text
// (or, after those, one that only holds it), case and accents aside. Keeps the
// words of the latest listing, folded once.
class AppFinder
{
public:
    struct Found
    {
        QString desktopFile;
        QString reason; // the generic name, keyword or command name that matched
    };

    // Takes the words of a new listing.
    void setApps(const QList<InstalledApps::App> &apps);
    // Whether the listing holds this desktop entry.
    bool lists(const QString &desktopFile) const { return files.contains(desktopFile); }

    // At most `count` applications for `text`, among those `accept` takes: the ones
    // with a word that begins with the text first, then the ones whose words only
    // hold it, each group in listing order.
    QList<Found> find(const QString &text, qsizetype count,
                      const std::function<bool(const QString &)> &accept) const;

    // Every place where `key` occurs in `text`, case and accents aside, as
    // [start, end) in the characters of `text`, without overlaps.
    static QList<std::pair<qsizetype, qsizetype>> occurrences(const QString &text, const QString &key);
    // `text` as compared: case-folded, accented letters as their base letter and
    // combining accents left out; `origins` gets each character's position in `text`.
    static QString folded(QStringView text, QList<qsizetype> *origins = nullptr);

private:
    struct Words
    {
        QString desktopFile;
        QStringList shown;  // generic name, keywords, command name
        QStringList folded; // the same, folded
    };
    QList<Words> entries;
    QSet<QString> files;
};
