#pragma once

#include <QStringList>
#include <QVariant>

#include <memory>

class QSettings;

// One key of the system registry, addressed by its full path such as
// "HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths".
// On Windows this is the native registry. Elsewhere every root is an INI file
// ("HKEY_LOCAL_MACHINE.ini") in the folder named by TOLVANE_REGISTRY_DIR, each key
// path a group path; without that variable there is no registry: reads are empty
// and writes go nowhere.
class RegistryKey
{
public:
    explicit RegistryKey(const QString &fullPath);
    ~RegistryKey();
    RegistryKey(const RegistryKey &) = delete;
    RegistryKey &operator=(const RegistryKey &) = delete;

    // Names of the key's direct subkeys.
    QStringList childGroups() const;
    // Names of every value of the key and of its nested subkeys ("Sub/Name").
    QStringList allKeys() const;
    bool contains(const QString &name) const;
    // A value by name; a missing value reads as defaultValue.
    QVariant value(const QString &name, const QVariant &defaultValue = {}) const;
    void setValue(const QString &name, const QVariant &value);
    // Writes pending changes out (tests that build fixtures need them on disk).
    void sync();

private:
    std::unique_ptr<QSettings> m_settings;
};
