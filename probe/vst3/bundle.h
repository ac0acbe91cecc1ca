#pragma once

#include <QString>
#include <QStringList>

// Where a VST 3 bundle keeps the binary this build of the scanner loads:
// Contents/<arch>-linux/<bundle name>.so.

// The architecture folders this build loads from, preferred first:
// x86_64-linux for 64-bit x86; i386-linux, then i686-linux for 32-bit x86.
QStringList vst3ArchitectureFolders();

// The binary for this build, or empty when the bundle has none. A folder
// holding one .so under another name (a renamed bundle) is taken too.
QString vst3BinaryIn(const QString &bundle);
