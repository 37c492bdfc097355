#include "registrykey.h"

#include <QDir>
#include <QSettings>

// Outside Windows the registry is a set of INI files, one per root key, in the
// folder that TOLVANE_REGISTRY_DIR names. "HKEY_LOCAL_MACHINE\SOFTWARE\X" is the
// group "SOFTWARE/X" of HKEY_LOCAL_MACHINE.ini.
RegistryKey::RegistryKey(const QString &fullPath)
{
    const QString folder = qEnvironmentVariable("TOLVANE_REGISTRY_DIR");
    if (folder.isEmpty())
        return;
    QStringList parts = fullPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return;
    const QString root = parts.takeFirst();
    m_settings = std::make_unique<QSettings>(folder + QLatin1Char('/') + root + QStringLiteral(".ini"),
                                             QSettings::IniFormat);
    if (!parts.isEmpty())
        m_settings->beginGroup(parts.join(QLatin1Char('/')));
}

RegistryKey::~RegistryKey() = default;

QStringList RegistryKey::childGroups() const
{
    return m_settings ? m_settings->childGroups() : QStringList();
}

QStringList RegistryKey::allKeys() const
{
    return m_settings ? m_settings->allKeys() : QStringList();
}

bool RegistryKey::contains(const QString &name) const
{
    return m_settings && m_settings->contains(name);
}

QVariant RegistryKey::value(const QString &name, const QVariant &defaultValue) const
{
    if (!m_settings)
        return defaultValue;
    const QVariant v = m_settings->value(name, defaultValue);
    // A hand-written INI value with an unquoted comma reads as a list; registry
    // values are single strings, so give it back whole.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v;
}

void RegistryKey::setValue(const QString &name, const QVariant &value)
{
    if (m_settings)
        m_settings->setValue(name, value);
}

void RegistryKey::sync()
{
    if (m_settings)
        m_settings->sync();
}
