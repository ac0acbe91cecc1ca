#pragma once

#include "contract/filedescription.h"

#include <QString>
#include <QStringList>

// Describes a CLAP file as a host's scan finds it: clap_entry's version is
// checked, the entry initialized, and every descriptor of the plug-in
// factory read; each plug-in is created and initialized once with a minimal
// host, asked for its audio and note ports, parameter count and GUI, and
// destroyed; the entry is deinitialized. Outcome codes as describers.h
// states them.
int describeClap(const QString &path, FileDescription *description);

// The kind from a descriptor's features: instrument, note effect, analyzer
// or effect by the first of those named, in that order; other otherwise.
QString clapKind(const QStringList &features);
