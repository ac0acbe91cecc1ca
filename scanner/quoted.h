#pragma once

#include <QLatin1Char>
#include <QString>

// Diagnostic lines show strings between double quotes with their characters
// unchanged. qDebug's own quoting escapes backslashes, quotes and non-ASCII
// characters, so lines are written with noquote() and quoted here instead.
inline QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}
