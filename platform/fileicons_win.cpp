#include "fileicons.h"

#include <QFileIconProvider>
#include <QFileInfo>

QIcon FileIcons::icon(const QFileInfo &info)
{
    static const QFileIconProvider provider;
    return provider.icon(info);
}
