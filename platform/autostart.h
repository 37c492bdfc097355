#pragma once

#include <QString>
#include <QVariant>

// The "start with the system" entry: the registry value "Tolvane" under the Run key
// on Windows, the autostart entry $XDG_CONFIG_HOME/autostart/tolvane.desktop elsewhere.
namespace AutoStart {

// Whether the entry exists at all (enabled or not).
bool exists();

// The entry's value: the command it starts, or an empty string for a disabled entry.
// Invalid when the entry does not exist.
QVariant value();

// Writes the entry: a program path starts that program at log-in; the empty text
// keeps the entry but disables it.
void setValue(const QString &programPath);

} // namespace AutoStart
