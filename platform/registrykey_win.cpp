#include "registrykey.h"

#include <QSettings>

// The native registry, opened on the full key path.
RegistryKey::RegistryKey(const QString &fullPath)
    : m_settings(std::make_unique<QSettings>(fullPath, QSettings::NativeFormat))
{}

RegistryKey::~RegistryKey() = default;

QStringList RegistryKey::childGroups() const
{
    return m_settings->childGroups();
}

QStringList RegistryKey::allKeys() const
{
    return m_settings->allKeys();
}

bool RegistryKey::contains(const QString &name) const
{
    return m_settings->contains(name);
}

QVariant RegistryKey::value(const QString &name, const QVariant &defaultValue) const
{
    return m_settings->value(name, defaultValue);
}

void RegistryKey::setValue(const QString &name, const QVariant &value)
{
    m_settings->setValue(name, value);
}

void RegistryKey::sync()
{
    m_settings->sync();
}
