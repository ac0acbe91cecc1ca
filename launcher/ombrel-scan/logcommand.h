#pragma once

#include <QString>

// ombrel-scan --log: prints what the cache file knows of one plug-in and
// returns the exit code: 0, or 1 (with a line on stderr) when it knows
// nothing of it. Reads the cache only; scans nothing and changes nothing.
// `scannerOption` is --scanner's value: it tells whether the entry still
// stands for the installed scanners.
int printLog(const QString &plugin, const QString &cacheFile, const QString &scannerOption);

// The --log command as the user can paste it into the shell that started
// this run: the program as it was started (by name when found on the PATH),
// with the --cache given, if one was.
QString logCommandLine(const QString &givenCache);
