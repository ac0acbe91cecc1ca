#pragma once

#include "launcher/files/binaryformat.h"

#include <QString>
#include <QStringList>

namespace ombrel {

// A VST 3 bundle as the launcher sees it without loading anything: its
// binaries are Contents/<arch>-linux/*.so, one per architecture.

// What the bundle's binaries are built for, read from their headers: an
// ELF format listing every architecture found, so that the scanner of any
// of them takes the bundle, and a bundle of none names them all as
// foreign. A bundle with no binary at all reads as Unreadable: the native
// scanner then reports it (from its moduleinfo.json where it has one).
BinaryFormat vst3BundleFormat(const QString &bundle);

// The files a bundle's scan reads, whose stamps make up the bundle's:
// its binaries and its moduleinfo.json, in a stable order.
QStringList vst3ScannedFiles(const QString &bundle);

} // namespace ombrel
