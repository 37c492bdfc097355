#pragma once

#include <QIcon>

class QFileInfo;

// Icons for catalog items: what the platform's file-icon provider gives, except
// that a desktop entry shows its application's icon.
namespace FileIcons {

QIcon icon(const QFileInfo &info);

} // namespace FileIcons
