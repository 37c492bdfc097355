// GLib first: its headers clash with Qt's "signals" keyword.
#include <gio/gio.h>

#include "motionpreference.h"

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

namespace {

// GNOME's switch, read only where its schema is installed: GSettings aborts the
// program when asked for a schema it does not know.
bool gnomeAnimationsEnabled()
{
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    if (!source)
        return true;
    GSettingsSchema *schema = g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE);
    if (!schema)
        return true;
    bool enabled = true;
    if (g_settings_schema_has_key(schema, "enable-animations")) {
        GSettings *settings = g_settings_new_full(schema, nullptr, nullptr);
        enabled = g_settings_get_boolean(settings, "enable-animations");
        g_object_unref(settings);
    }
    g_settings_schema_unref(schema);
    return enabled;
}

// KDE reads kdeglobals from the user's configuration folder first, then the
// system's; the first file that sets the factor decides.
bool kdeAnimationsEnabled()
{
    const QStringList files =
        QStandardPaths::locateAll(QStandardPaths::GenericConfigLocation, QStringLiteral("kdeglobals"));
    for (const QString &file : files) {
        GKeyFile *keys = g_key_file_new();
        bool decided = false;
        bool enabled = true;
        if (g_key_file_load_from_file(keys, QFile::encodeName(file).constData(), G_KEY_FILE_NONE, nullptr) &&
            g_key_file_has_key(keys, "KDE", "AnimationDurationFactor", nullptr)) {
            GError *error = nullptr;
            const double factor = g_key_file_get_double(keys, "KDE", "AnimationDurationFactor", &error);
            if (!error) {
                decided = true;
                enabled = factor > 0.0;
            }
            g_clear_error(&error);
        }
        g_key_file_free(keys);
        if (decided)
            return enabled;
    }
    return true;
}

} // namespace

namespace MotionPreference {

bool animationsEnabled()
{
    return gnomeAnimationsEnabled() && kdeAnimationsEnabled();
}

} // namespace MotionPreference
