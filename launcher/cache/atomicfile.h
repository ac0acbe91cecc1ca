#pragma once

#include <QByteArray>
#include <QString>

namespace ombrel {

// Replaces the file's contents all at once: writes a temporary file beside
// it, checks every write, flushes it to the disk and renames it into place.
// On any failure the temporary file is removed, the file is left as it
// was, and *error says why (the system's reason, e.g. a full disk).
// (QSaveFile is not used: Qt 6.4 renames its file into place even when a
// write to it failed on a full disk.)
bool replaceFileContents(const QString &file, const QByteArray &contents, QString *error);

} // namespace ombrel
