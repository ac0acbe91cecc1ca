#include "launcher/core/duplicateids.h"

#include <QMap>
#include <QPair>

namespace ombrel {

QList<DuplicateId> duplicateIds(const QList<ScanResult> &results)
{
    struct Sharers
    {
        int plugins = 0;
        QStringList files;
    };
    QMap<QPair<QString, QString>, Sharers> byId;
    for (const ScanResult &result : results) {
        for (const PluginDescription &description : result.descriptions) {
            if (description.id.isEmpty())
                continue; // named by a scanner that told no ID
            Sharers &sharers = byId[qMakePair(description.format, description.id)];
            ++sharers.plugins;
            if (!sharers.files.contains(result.path))
                sharers.files << result.path;
        }
    }
    QList<DuplicateId> duplicates;
    for (auto it = byId.constBegin(); it != byId.constEnd(); ++it) {
        if (it.value().plugins > 1)
            duplicates << DuplicateId{it.key().first, it.key().second, it.value().files};
    }
    return duplicates;
}

} // namespace ombrel
