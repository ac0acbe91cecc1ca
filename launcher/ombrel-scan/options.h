#pragma once

#include <QString>

// The checked values of ombrel-scan's numeric options. Each returns false,
// with *error naming the option and what it takes, for anything else.

// -j: a whole number of scans at once, from 1 to 1024.
bool parseJobs(const QString &text, int *jobs, QString *error);

// --timeout: a finite number of seconds from 0.1 to 86400 (a day); in
// milliseconds.
bool parseTimeout(const QString &text, int *milliseconds, QString *error);

// The default for -j: the number of processors, within the range -j takes.
int defaultJobs();
