#include "specialfolders.h"

#include <QLibrary>

#include <windows.h>

// SHGetSpecialFolderPathW, resolved from shell32 at run time.
namespace SpecialFolders {

QString path(int csidl)
{
    using GetPathFn = BOOL(WINAPI *)(HWND, LPWSTR, int, BOOL);
    QLibrary shell32(QStringLiteral("shell32"));
    const auto getPath = reinterpret_cast<GetPathFn>(shell32.resolve("SHGetSpecialFolderPathW"));
    if (!getPath)
        return QString();
    wchar_t buffer[MAX_PATH] = {0}; // MAX_PATH is 260
    getPath(nullptr, buffer, csidl, FALSE);
    return QString::fromWCharArray(buffer);
}

} // namespace SpecialFolders
