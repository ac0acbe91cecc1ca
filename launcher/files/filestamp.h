#pragma once

#include <QString>

namespace ombrel {

// Size and modification time of a file, the two things that change when a
// plug-in is rebuilt, upgraded or touched; empty when it does not exist.
// Taken before a scan and kept with its result, so that a file changed
// while it was scanned is scanned again next time.
QString fileStamp(const QString &path);

// A scanner's identity: its binary's stamp, which changes with every build
// or upgrade.
QString scannerIdentity(const QString &scannerPath);

} // namespace ombrel
