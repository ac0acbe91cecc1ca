#pragma once

#include <QString>

namespace ombrel {

// Where a scan embedded in a host finds its scanners. Inside a host the
// running program is the host's, so the layout is taken relative to this
// library's own file instead (dladdr).
struct ScannerPlace
{
    QString layoutBase; // for LibraryScanOptions::layoutBase: a file in the folder holding the scanner
    QString missing;    // when no scanner is there: where it was looked for, for the error
};

// `folder`: the host's folder holding OmbrelPluginScanner; empty: the
// library's installed layout (<libdir>/<layout::kScannersFromLibdir>), else
// the library's own folder (a build tree, or a host that bundles both).
ScannerPlace findScannerPlace(const QString &folder);

// This library's file, links resolved; empty when the system cannot say.
QString libraryFile();

} // namespace ombrel
