#pragma once

#include <QImage>
#include <QString>

#include <vector>

// Every image the program compiles in, drawn from the shared look.
namespace Artwork {

struct Entry
{
    QString name; // base name of the PNG file, which is also its resource alias
    QImage image;
};

// Button sprites: states stacked vertically, one column per button.
std::vector<Entry> sprites();
// Window backgrounds, splash, icons.
std::vector<Entry> backgrounds();
// The two help pages.
std::vector<Entry> helpPages();

// The window icon drawn at an arbitrary square size.
QImage appIcon(int size);

} // namespace Artwork
