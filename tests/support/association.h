#pragma once

#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QStringList>

// The desktop's file associations, in the sandbox: an application "catcher"
// that handles the given MIME types and writes every file it is asked to open
// into a log, and the system's MIME database, so that file types are known.
// Install before anything asks GIO for an association (it reads them once).
namespace TestAssociation {

inline QString logFile()
{
    return TestSandbox::path(QStringLiteral("catcher.log"));
}

// Returns false when the system has no MIME database (shared-mime-info).
inline bool install(const QStringList &mimeTypes)
{
    const QString dataDir = TestSandbox::path(QStringLiteral("xdg-data-dirs"));
    if (!QFile::exists(dataDir + QStringLiteral("/mime")) &&
        !QFile::link(QStringLiteral("/usr/share/mime"), dataDir + QStringLiteral("/mime")))
        return false;
    if (!QFile::exists(dataDir + QStringLiteral("/mime/mime.cache")))
        return false;

    const QString script = TestSandbox::path(QStringLiteral("catcher.sh"));
    QFile catcher(script);
    if (!catcher.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    catcher.write("#!/bin/sh\nfor f in \"$@\"; do printf '%s\\n' \"$f\" >> \"" +
                  QFile::encodeName(logFile()) + "\"; done\n");
    catcher.close();
    catcher.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // Not shown in menus, so discovery does not list it; still an association.
    QDir().mkpath(dataDir + QStringLiteral("/applications"));
    QFile entry(dataDir + QStringLiteral("/applications/tolvane-test-catcher.desktop"));
    if (!entry.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    entry.write("[Desktop Entry]\nType=Application\nName=Catcher\nNoDisplay=true\nExec=\"" +
                QFile::encodeName(script) + "\" %F\nMimeType=" + mimeTypes.join(QLatin1Char(';')).toUtf8() +
                ";\n");
    entry.close();
    // GIO finds the applications of a type through this index, which the
    // package system writes (update-desktop-database) on a real machine.
    QFile index(dataDir + QStringLiteral("/applications/mimeinfo.cache"));
    if (!index.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    index.write("[MIME Cache]\n");
    for (const QString &type : mimeTypes)
        index.write(type.toUtf8() + "=tolvane-test-catcher.desktop;\n");
    return true;
}

// The files handed to the catcher so far, in order.
inline QStringList opened()
{
    QFile log(logFile());
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace TestAssociation
