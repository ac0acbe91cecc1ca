#include "banlist.h"

const QStringList &banList()
{
    // Filled on first use and kept for the life of the process.
    static const QStringList list = {
        QStringLiteral("waveshell"),
        QStringLiteral("kontakt"),
        QStringLiteral("absynth"),
        QStringLiteral("automap"),
        QStringLiteral("FL Studio VSTi"),
        QStringLiteral("FL Studio VSTi(multi)"), // already covered by the entry above
        QStringLiteral("vstboard"),
    };
    return list;
}

QString bannedEntryIn(const QString &path)
{
    for (const QString &entry : banList()) {
        if (path.contains(entry, Qt::CaseInsensitive))
            return entry;
    }
    return QString();
}
