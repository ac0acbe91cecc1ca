#pragma once

#include <QLatin1Char>
#include <QString>

// The scanner's lines on standard error are read by hosts, so their shape
// lives here, beside the exit codes, for the scanner and launchers alike.

// Strings appear between double quotes with their characters unchanged.
// qDebug's own quoting escapes backslashes, quotes and non-ASCII
// characters, so lines are written with noquote() and quoted here instead.
inline QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// What the ban line says after the quoted path; launchers look for it to
// tell a banned plug-in from one that failed to load.
inline QString banLineText()
{
    return QStringLiteral(" : plugin dll is in ban list!");
}
