#pragma once

#include <QString>
#include <QStringList>

// Plug-ins known to misbehave under a scan. A path is banned when any entry
// occurs anywhere in it, folders included, regardless of letter case.
const QStringList &banList();

// The first ban-list entry found in the path, or an empty string.
QString bannedEntryIn(const QString &path);
