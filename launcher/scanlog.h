#pragma once

#include "scanresult.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Why a scan did not end ok: the last lines its process printed, kept in
// the cache and the JSON output, and shown by ombrel-scan --log.

// At most this many bytes of a process's output are kept per plug-in.
constexpr int kKeptOutputBytes = 4096;

// The last complete lines of a process's output, within kKeptOutputBytes.
// Bytes that are not UTF-8 are replaced, never dropped silently.
QStringList keptLines(const QByteArray &output);

// What ombrel-scan --log prints for one cached result. `current` is false
// when the file or the scanner changed since, so the next run scans again.
QString logText(const ScanResult &result, bool current);
