#include "appfinder.h"

namespace {

// How a folded field holds the folded key: 0 at the start of a word, 1 only
// inside words, 2 not at all.
int rankIn(const QString &field, const QString &key)
{
    qsizetype at = field.indexOf(key);
    if (at < 0)
        return 2;
    for (; at >= 0; at = field.indexOf(key, at + 1)) {
        if (at == 0 || !field.at(at - 1).isLetterOrNumber())
            return 0;
    }
    return 1;
}

// The combining accents of Latin, Greek and Cyrillic letters.
bool isCombiningAccent(QChar c)
{
    return c.unicode() >= 0x0300 && c.unicode() <= 0x036F;
}

} // namespace

QString AppFinder::folded(QStringView text, QList<qsizetype> *origins)
{
    QString out;
    out.reserve(text.size());
    if (origins) {
        origins->clear();
        origins->reserve(text.size());
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (isCombiningAccent(c))
            continue;
        // Only alphabets whose accents are marks on a base letter: a Hangul syllable
        // or a kana with its voicing mark is a letter of its own.
        while (c.unicode() < 0x2000 && c.decompositionTag() == QChar::Canonical)
            c = c.decomposition().at(0);
        out += c.isSurrogate() ? c : c.toCaseFolded();
        if (origins)
            origins->append(i);
    }
    return out;
}

QList<std::pair<qsizetype, qsizetype>> AppFinder::occurrences(const QString &text, const QString &key)
{
    QList<std::pair<qsizetype, qsizetype>> found;
    const QString foldedKey = folded(key);
    if (foldedKey.isEmpty())
        return found;
    QList<qsizetype> origins;
    const QString foldedText = folded(text, &origins);
    for (qsizetype at = foldedText.indexOf(foldedKey); at >= 0;
         at = foldedText.indexOf(foldedKey, at + foldedKey.size())) {
        const qsizetype end = at + foldedKey.size();
        // The accents left out after the last letter belong to it.
        found.append({origins.at(at), end < origins.size() ? origins.at(end) : text.size()});
    }
    return found;
}

void AppFinder::setApps(const QList<InstalledApps::App> &apps)
{
    entries.clear();
    files.clear();
    entries.reserve(apps.size());
    for (const InstalledApps::App &app : apps) {
        Words words{app.desktopFile, {}, {}};
        const auto add = [&words](const QString &text) {
            if (!text.isEmpty() && !words.shown.contains(text)) {
                words.shown.append(text);
                words.folded.append(folded(text));
            }
        };
        add(app.genericName);
        for (const QString &keyword : app.keywords)
            add(keyword);
        add(app.command);
        files.insert(app.desktopFile);
        if (!words.shown.isEmpty())
            entries.append(words);
    }
}

QList<AppFinder::Found> AppFinder::find(const QString &text, qsizetype count,
                                        const std::function<bool(const QString &)> &accept) const
{
    QList<Found> starting, holding;
    const QString key = folded(text);
    if (key.isEmpty() || count <= 0)
        return starting;
    for (const Words &app : entries) {
        if (starting.size() >= count)
            break;
        int best = 2;
        qsizetype field = -1;
        for (qsizetype i = 0; i < app.folded.size() && best > 0; ++i) {
            if (const int rank = rankIn(app.folded.at(i), key); rank < best) {
                best = rank;
                field = i;
            }
        }
        if (best == 2 || (best == 1 && holding.size() >= count) || !accept(app.desktopFile))
            continue;
        (best == 0 ? starting : holding).append({app.desktopFile, app.shown.at(field)});
    }
    starting += holding;
    starting.resize(qMin(starting.size(), count));
    return starting;
}
