#include "autostart.h"

#include <QSettings>

// The Run value of the machine-wide registry.

namespace {

const char *const RunValue = "SOFTWARE/Microsoft/Windows/CurrentVersion/Run/Tolvane";

QSettings &registry()
{
    static QSettings settings(QStringLiteral("HKEY_LOCAL_MACHINE"), QSettings::NativeFormat);
    return settings;
}

} // namespace

namespace AutoStart {

bool exists()
{
    return registry().contains(QLatin1String(RunValue));
}

QVariant value()
{
    return registry().value(QLatin1String(RunValue));
}

void setValue(const QString &programPath)
{
    registry().setValue(QLatin1String(RunValue), programPath);
}

} // namespace AutoStart
