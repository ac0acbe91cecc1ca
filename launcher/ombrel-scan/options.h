#pragma once

#include "launcher/library/libraryscan.h"

#include <QString>

// The checked values of ombrel-scan's numeric options. Each returns false,
// with *error naming the option and what it takes, for anything else.

// -j: a whole number of scans at once, from 1 to 1024.
bool parseJobs(const QString &text, int *jobs, QString *error);

// --timeout: a finite number of seconds from 0.1 to 86400 (a day); in
// milliseconds.
bool parseTimeout(const QString &text, int *milliseconds, QString *error);

// --memory-limit: bytes with an optional K, M, G or T (powers of 1024),
// from 16M to 1T, or 0 for none.
bool parseMemoryLimit(const QString &text, qint64 *bytes, QString *error);

// --sandbox: auto, require or off.
bool parseSandboxMode(const QString &text, ombrel::SandboxMode *mode, QString *error);

// --format: format names (files/formats.h) separated by ',', each known.
bool parseFormats(const QString &text, QStringList *formats, QString *error);

// Every format's name, as --format takes them.
QStringList formatNames();

// The default for -j: the number of processors, within the range -j takes.
int defaultJobs();
