#pragma once

#include "launcher/core/scanresult.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace ombrel {

// An ID that two or more plug-ins of one format share: a host that
// recalls plug-ins by it keeps only one of them.
struct DuplicateId
{
    QString format;
    QString id;
    QStringList files; // each once, in the order of the results
};

// Every such ID among the ok results, by format and ID.
QList<DuplicateId> duplicateIds(const QList<ScanResult> &results);

} // namespace ombrel
