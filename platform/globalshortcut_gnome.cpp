// The system-wide hotkey on GNOME: one custom shortcut of the program's own in
// GNOME's keyboard settings (the media-keys plugin's `custom-keybindings` list and
// the relocatable `custom-keybinding` schema), which gsd-media-keys runs. Its
// command is the one users bind (installed: <prefix>/bin/tolvane, the small command;
// otherwise this copy's executable), so a press starts the program or hands over
// to the running copy. The entry stays when the program ends: the key then starts it.
// GLib first: its headers use "signals", which Qt defines as a keyword.
#include <gio/gio.h>

#include "applocations.h"
#include "globalshortcut_p.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTimer>

namespace {

const char *const MediaKeysSchema = "org.gnome.settings-daemon.plugins.media-keys";
const char *const CustomSchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
const char *const ListKey = "custom-keybindings";
const QString CustomBase =
    QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");
const QString EntryName = QStringLiteral("Tolvane");

// Schemas whose keys hold GNOME's own shortcuts (lists of accelerators or one).
const char *const KeybindingSchemas[] = {
    "org.gnome.desktop.wm.keybindings",
    "org.gnome.mutter.keybindings",
    "org.gnome.mutter.wayland.keybindings",
    "org.gnome.shell.keybindings",
    MediaKeysSchema,
};

// How long GNOME's settings may take to confirm a write before the hotkey counts.
constexpr int ConfirmMs = 3000;

GSettingsSchema *lookupSchema(const char *id)
{
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    return source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr;
}

bool hasSchema(const char *id)
{
    GSettingsSchema *schema = lookupSchema(id);
    if (schema)
        g_settings_schema_unref(schema);
    return schema != nullptr;
}

QString takeString(gchar *value)
{
    const QString result = QString::fromUtf8(value);
    g_free(value);
    return result;
}

QStringList takeStrv(gchar **values)
{
    QStringList result;
    for (gchar **value = values; value && *value; ++value)
        result << QString::fromUtf8(*value);
    g_strfreev(values);
    return result;
}

void setStrv(GSettings *settings, const char *key, const QStringList &values)
{
    QList<QByteArray> bytes;
    std::vector<const gchar *> pointers;
    for (const QString &value : values)
        bytes << value.toUtf8();
    for (const QByteArray &value : std::as_const(bytes))
        pointers.push_back(value.constData());
    pointers.push_back(nullptr);
    g_settings_set_strv(settings, key, pointers.data());
}

// The X keysym name of a key, as GNOME's accelerators spell it.
QString keysymName(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return QString(QChar(key - Qt::Key_A + 'a'));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return QString(QChar(key));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    static const QHash<int, QString> names{
        {Qt::Key_Space, QStringLiteral("space")},
        {Qt::Key_Return, QStringLiteral("Return")},
        {Qt::Key_Enter, QStringLiteral("KP_Enter")},
        {Qt::Key_Escape, QStringLiteral("Escape")},
        {Qt::Key_Tab, QStringLiteral("Tab")},
        {Qt::Key_Backspace, QStringLiteral("BackSpace")},
        {Qt::Key_Insert, QStringLiteral("Insert")},
        {Qt::Key_Delete, QStringLiteral("Delete")},
        {Qt::Key_Home, QStringLiteral("Home")},
        {Qt::Key_End, QStringLiteral("End")},
        {Qt::Key_PageUp, QStringLiteral("Page_Up")},
        {Qt::Key_PageDown, QStringLiteral("Page_Down")},
        {Qt::Key_Left, QStringLiteral("Left")},
        {Qt::Key_Right, QStringLiteral("Right")},
        {Qt::Key_Up, QStringLiteral("Up")},
        {Qt::Key_Down, QStringLiteral("Down")},
        {Qt::Key_Comma, QStringLiteral("comma")},
        {Qt::Key_Period, QStringLiteral("period")},
        {Qt::Key_Slash, QStringLiteral("slash")},
        {Qt::Key_Minus, QStringLiteral("minus")},
        {Qt::Key_Equal, QStringLiteral("equal")},
        {Qt::Key_Semicolon, QStringLiteral("semicolon")},
        {Qt::Key_Apostrophe, QStringLiteral("apostrophe")},
        {Qt::Key_QuoteLeft, QStringLiteral("grave")},
        {Qt::Key_BracketLeft, QStringLiteral("bracketleft")},
        {Qt::Key_BracketRight, QStringLiteral("bracketright")},
        {Qt::Key_Backslash, QStringLiteral("backslash")},
        {Qt::Key_Print, QStringLiteral("Print")},
    };
    return names.value(key);
}

// The hotkey in GNOME's accelerator syntax ("<Control><Alt>q"); empty when the key
// has no keysym name known here.
QString acceleratorOf(const QKeySequence &shortcut)
{
    const QKeyCombination combination = shortcut[0];
    const QString key = keysymName(combination.key());
    if (key.isEmpty())
        return QString();
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    QString accelerator;
    if (modifiers & Qt::ControlModifier)
        accelerator += QLatin1String("<Control>");
    if (modifiers & Qt::AltModifier)
        accelerator += QLatin1String("<Alt>");
    if (modifiers & Qt::ShiftModifier)
        accelerator += QLatin1String("<Shift>");
    if (modifiers & Qt::MetaModifier)
        accelerator += QLatin1String("<Super>");
    return accelerator + key;
}

// An accelerator reduced to what makes two equal: the set of modifiers (GNOME
// accepts several spellings of each) and the key name without case.
QString normalized(const QString &accelerator)
{
    QString rest = accelerator.trimmed();
    QStringList modifiers;
    while (rest.startsWith(QLatin1Char('<'))) {
        const int end = rest.indexOf(QLatin1Char('>'));
        if (end < 0)
            break;
        const QString name = rest.mid(1, end - 1).toLower();
        rest = rest.mid(end + 1);
        if (name == QLatin1String("control") || name == QLatin1String("ctrl") ||
            name == QLatin1String("ctl") || name == QLatin1String("primary"))
            modifiers << QStringLiteral("C");
        else if (name == QLatin1String("alt") || name == QLatin1String("mod1"))
            modifiers << QStringLiteral("A");
        else if (name == QLatin1String("shift") || name == QLatin1String("shft"))
            modifiers << QStringLiteral("S");
        else if (name == QLatin1String("super") || name == QLatin1String("mod4"))
            modifiers << QStringLiteral("W");
        else
            modifiers << name;
    }
    if (rest.isEmpty())
        return QString();
    modifiers.sort();
    modifiers.removeDuplicates();
    return modifiers.join(QString()) + QLatin1Char('+') + rest.toLower();
}

// How the hotkey line names an accelerator ("Ctrl+Alt+Q").
QString describe(const QString &accelerator)
{
    const QString form = normalized(accelerator);
    if (form.isEmpty())
        return accelerator;
    const QString mods = form.section(QLatin1Char('+'), 0, 0);
    QString key = accelerator.mid(accelerator.lastIndexOf(QLatin1Char('>')) + 1);
    if (key.size() == 1)
        key = key.toUpper();
    else
        key[0] = key[0].toUpper();
    QStringList parts;
    if (mods.contains(QLatin1Char('C')))
        parts << QStringLiteral("Ctrl");
    if (mods.contains(QLatin1Char('A')))
        parts << QStringLiteral("Alt");
    if (mods.contains(QLatin1Char('S')))
        parts << QStringLiteral("Shift");
    if (mods.contains(QLatin1Char('W')))
        parts << QStringLiteral("Super");
    return (parts << key).join(QLatin1Char('+'));
}

GSettings *customEntry(const QString &path)
{
    GSettingsSchema *schema = lookupSchema(CustomSchema);
    if (!schema)
        return nullptr;
    GSettings *settings = g_settings_new_full(schema, nullptr, path.toUtf8().constData());
    g_settings_schema_unref(schema);
    return settings;
}

// A path from the list that GSettings accepts for a relocatable schema.
bool isValidPath(const QString &path)
{
    return path.startsWith(QLatin1Char('/')) && path.endsWith(QLatin1Char('/')) &&
           !path.contains(QLatin1String("//"));
}

} // namespace

class GnomeShortcutBackend : public ShortcutBackend
{
    Q_OBJECT

public:
    explicit GnomeShortcutBackend(QObject *parent) : ShortcutBackend(parent)
    {
        command = QFileInfo(AppLocations::command()).absoluteFilePath();
        if (hasSchema(MediaKeysSchema) && hasSchema(CustomSchema))
            mediaKeys = g_settings_new(MediaKeysSchema);
        confirm.setSingleShot(true);
        confirm.setInterval(ConfirmMs);
        connect(&confirm, &QTimer::timeout, this, [this] { check(); });
    }

    ~GnomeShortcutBackend() override
    {
        closeEntry();
        if (mediaKeys)
            g_object_unref(mediaKeys);
    }

    Outcome bind(const QKeySequence &shortcut) override
    {
        confirm.stop();
        wanted.clear();
        reported.clear();
        Outcome outcome;
        if (!mediaKeys) {
            outcome.error = QStringLiteral("GNOME's keyboard settings are not installed");
            if (shortcut.isEmpty())
                outcome.status = GlobalShortcut::Status::Inactive;
            return outcome;
        }
        const QStringList ours = ownEntries();
        if (shortcut.isEmpty()) {
            removeEntries(ours);
            outcome.status = GlobalShortcut::Status::Inactive;
            return outcome;
        }
        const QString accelerator = acceleratorOf(shortcut);
        if (accelerator.isEmpty()) {
            removeEntries(ours);
            outcome.error = QStringLiteral("GNOME cannot bind this key");
            return outcome;
        }
        const QString holder = holderOf(accelerator, ours);
        if (!holder.isEmpty()) {
            // The key is GNOME's or another program's: ours goes, nothing else changes.
            removeEntries(ours);
            outcome.error = QStringLiteral("GNOME's shortcut \"%1\" uses it").arg(holder);
            return outcome;
        }
        // One entry however often the program starts: extras of ours from older runs go.
        removeEntries(ours.mid(1));
        if (!writeEntry(ours.value(0), accelerator)) {
            outcome.error = QStringLiteral("GNOME's keyboard settings cannot be changed");
            return outcome;
        }
        wanted = accelerator;
        reported = accelerator;
        // A database that cannot be written takes the values back a moment later.
        confirm.start();
        outcome.status = GlobalShortcut::Status::Active;
        outcome.trigger = describe(accelerator);
        return outcome;
    }

    bool isAvailable() const override { return mediaKeys != nullptr; }

private:
    // Writes this copy's entry at `path` (a new one where `path` is empty) with the
    // accelerator; false where GNOME's settings are locked.
    bool writeEntry(QString path, const QString &accelerator)
    {
        QStringList list = takeStrv(g_settings_get_strv(mediaKeys, ListKey));
        const bool added = path.isEmpty();
        if (added)
            path = freePath(list);
        openEntry(path);
        if (!entry || !g_settings_is_writable(entry, "binding") ||
            !g_settings_is_writable(mediaKeys, ListKey)) {
            closeEntry();
            return false;
        }
        g_settings_set_string(entry, "name", EntryName.toUtf8().constData());
        g_settings_set_string(entry, "command", quotedCommand().toUtf8().constData());
        g_settings_set_string(entry, "binding", accelerator.toUtf8().constData());
        if (added) {
            list = takeStrv(g_settings_get_strv(mediaKeys, ListKey));
            list << path;
            setStrv(mediaKeys, ListKey, list);
        }
        return true;
    }

    // The command as GNOME runs it (a command line, parsed like a shell's): the
    // path as it is, quoted only where a shell would split or expand it.
    QString quotedCommand() const
    {
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._+-]+$"));
        if (plain.match(command).hasMatch())
            return command;
        gchar *quoted = g_shell_quote(QFile::encodeName(command).constData());
        return takeString(quoted);
    }

    // The paths in the list whose entry runs this copy, in list order. An installed
    // copy's entry once ran the program itself: that entry is ours too (rewritten
    // with the command when bound).
    QStringList ownEntries() const
    {
        QStringList ours;
        const QString program = QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath();
        QStringList commands{quotedCommand()};
        for (const QString &path : {command, program}) {
            gchar *quoted = g_shell_quote(QFile::encodeName(path).constData());
            commands << path << takeString(quoted);
        }
        const QStringList list = takeStrv(g_settings_get_strv(mediaKeys, ListKey));
        for (const QString &path : list) {
            if (!isValidPath(path))
                continue;
            GSettings *settings = customEntry(path);
            if (!settings)
                continue;
            const QString entryCommand = takeString(g_settings_get_string(settings, "command"));
            g_object_unref(settings);
            if (commands.contains(entryCommand))
                ours << path;
        }
        return ours;
    }

    // The name of the GNOME shortcut that uses `accelerator`; empty when none does.
    // Entries of this copy (`ours`) do not count.
    QString holderOf(const QString &accelerator, const QStringList &ours) const
    {
        const QString form = normalized(accelerator);
        for (const char *id : KeybindingSchemas) {
            const QString name = schemaHolder(id, form);
            if (!name.isEmpty())
                return name;
        }
        const QStringList list = takeStrv(g_settings_get_strv(mediaKeys, ListKey));
        for (const QString &path : list) {
            if (ours.contains(path) || !isValidPath(path))
                continue;
            GSettings *settings = customEntry(path);
            if (!settings)
                continue;
            const QString binding = takeString(g_settings_get_string(settings, "binding"));
            const QString name = takeString(g_settings_get_string(settings, "name"));
            g_object_unref(settings);
            if (!binding.isEmpty() && normalized(binding) == form)
                return name.isEmpty() ? path : name;
        }
        return QString();
    }

    // The summary of the key in schema `id` that holds the accelerator `form`.
    static QString schemaHolder(const char *id, const QString &form)
    {
        GSettingsSchema *schema = lookupSchema(id);
        if (!schema)
            return QString();
        GSettings *settings = g_settings_new_full(schema, nullptr, nullptr);
        QString holder;
        gchar **keys = g_settings_schema_list_keys(schema);
        for (gchar **key = keys; key && *key && holder.isEmpty(); ++key) {
            GVariant *value = g_settings_get_value(settings, *key);
            QStringList accelerators;
            if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING))
                accelerators << QString::fromUtf8(g_variant_get_string(value, nullptr));
            else if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING_ARRAY) && qstrcmp(*key, ListKey) != 0)
                accelerators = takeStrv(g_variant_dup_strv(value, nullptr));
            g_variant_unref(value);
            for (const QString &accelerator : std::as_const(accelerators)) {
                if (accelerator.startsWith(QLatin1Char('<')) || accelerator.size() > 1) {
                    if (normalized(accelerator) == form) {
                        GSettingsSchemaKey *schemaKey = g_settings_schema_get_key(schema, *key);
                        const char *summary = g_settings_schema_key_get_summary(schemaKey);
                        holder = summary && *summary ? QString::fromUtf8(summary) : QString::fromUtf8(*key);
                        g_settings_schema_key_unref(schemaKey);
                        break;
                    }
                }
            }
        }
        g_strfreev(keys);
        g_object_unref(settings);
        g_settings_schema_unref(schema);
        return holder;
    }

    // A path of the list's form that no entry uses.
    static QString freePath(const QStringList &list)
    {
        for (int n = 0;; ++n) {
            const QString path = CustomBase + QStringLiteral("tolvane%1/").arg(n);
            if (!list.contains(path))
                return path;
        }
    }

    void removeEntries(const QStringList &paths)
    {
        if (paths.isEmpty())
            return;
        closeEntry();
        QStringList list = takeStrv(g_settings_get_strv(mediaKeys, ListKey));
        for (const QString &path : paths)
            list.removeAll(path);
        setStrv(mediaKeys, ListKey, list);
        for (const QString &path : paths) {
            GSettings *settings = customEntry(path);
            if (!settings)
                continue;
            for (const char *key : {"name", "command", "binding"})
                g_settings_reset(settings, key);
            g_object_unref(settings);
        }
    }

    void openEntry(const QString &path)
    {
        closeEntry();
        entry = customEntry(path);
        entryPath = path;
        if (entry)
            changedHandler = g_signal_connect(entry, "changed::binding", G_CALLBACK(onBindingChanged), this);
    }

    void closeEntry()
    {
        if (!entry)
            return;
        g_signal_handler_disconnect(entry, changedHandler);
        g_object_unref(entry);
        entry = nullptr;
        entryPath.clear();
    }

    static void onBindingChanged(GSettings *, const gchar *, gpointer self)
    {
        // Later than the write itself: the database's answer, or the user's edit in
        // GNOME's keyboard settings.
        QTimer::singleShot(0, static_cast<GnomeShortcutBackend *>(self),
                           [self] { static_cast<GnomeShortcutBackend *>(self)->check(); });
    }

    // Compares what GNOME's settings hold with what was written: a write the
    // database refused comes back as the old value.
    void check()
    {
        if (!entry || wanted.isEmpty())
            return;
        const QString binding = takeString(g_settings_get_string(entry, "binding"));
        const QStringList list = takeStrv(g_settings_get_strv(mediaKeys, ListKey));
        if (binding.isEmpty() || !list.contains(entryPath)) {
            if (reported != binding + QLatin1Char('!')) {
                reported = binding + QLatin1Char('!');
                emit changed(GlobalShortcut::Status::Failed, QString(),
                             QStringLiteral("GNOME's keyboard settings could not be saved"));
            }
            return;
        }
        if (reported != binding) {
            reported = binding;
            // The user may have given the shortcut another key in GNOME's settings.
            emit changed(GlobalShortcut::Status::Active, describe(binding), QString());
        }
    }

    GSettings *mediaKeys = nullptr;
    GSettings *entry = nullptr;
    gulong changedHandler = 0;
    QString entryPath;
    QString command;
    QString wanted;
    QString reported;
    QTimer confirm;
};

bool ShortcutBackends::isGnomeSession()
{
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'));
    return desktops.contains(QLatin1String("GNOME"), Qt::CaseInsensitive) && hasSchema(MediaKeysSchema) &&
           hasSchema(CustomSchema);
}

ShortcutBackend *ShortcutBackends::createDesktopShortcut(QObject *parent)
{
    return new GnomeShortcutBackend(parent);
}

#include "globalshortcut_gnome.moc"
