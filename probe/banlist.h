#pragma once

#include <QString>
#include <QStringList>

// Plug-ins known to misbehave under a scan. A path is banned when any entry
// occurs anywhere in it, folders included, regardless of letter case.
const QStringList &banList();

// The first ban-list entry found in the path, or an empty string.
QString bannedEntryIn(const QString &path);

// What the scanner's ban line says after the quoted path; launchers look
// for it to tell a banned plug-in from one that failed to load.
inline QString banLineText()
{
    return QStringLiteral(" : plugin dll is in ban list!");
}
