#pragma once

#include "launcher/files/binaryformat.h"
#include "launcher/core/scanresult.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace ombrel {

// The scanners installed side by side, one per architecture, and which of
// them scans a given file. The layout, relative to the launcher's folder:
//   OmbrelPluginScanner or ../libexec/ombrel/OmbrelPluginScanner
//       the native scanner (or the one named with --scanner)
//   i386/OmbrelPluginScanner or ../libexec/ombrel/i386/OmbrelPluginScanner
//       the 32-bit x86 scanner, on Linux
//   ombrel-scan-server or ../libexec/ombrel/ombrel-scan-server
//       what runs a slot's scans in a sandbox, for scanners of every architecture
struct InstalledScanner
{
    QString path;
    BinaryFormat format; // what it can load
};

struct ScannerSet
{
    InstalledScanner native; // path empty when there is none
    QList<InstalledScanner> companions;
    QStringList absentCompanions; // folders of the layout with no scanner in them
    QString server;               // the scan server (ombrel-scan-server), in the layout; empty when absent

    // The scanner for a file of this format; empty when no installed one loads it.
    QString scannerFor(const BinaryFormat &format) const;
};

// `given` (--scanner) replaces the native scanner of the layout; the
// companions are always looked for in the layout. `launcherPath` is the
// launcher's executable: the layout is relative to its folder, and its own
// format stands for a native scanner that is a script rather than a binary.
ScannerSet findScanners(const QString &given, const QString &launcherPath);

// What every installed scanner is, for the cache: entries scanned under
// another set stand for nothing, so installing a scanner makes the next run
// scan what none could before.
QString scannerSetIdentity(const ScannerSet &scanners);

// Reads each file's header and takes out of `paths` the files that no
// scanner is to be started for, with their results: no executable format
// (not-a-plugin) or none that an installed scanner loads (foreign). Returns
// the scanner for each remaining path; a file that cannot be read goes to
// the native scanner, which reports it as it reports any file.
QHash<QString, QString> assignScanners(const ScannerSet &scanners, QStringList *paths, QList<ScanResult> *unstarted);

} // namespace ombrel
