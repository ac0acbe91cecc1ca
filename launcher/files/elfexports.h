#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

namespace ombrel {

// Why the scanner found no plug-in in a file, where the file's own bytes can
// tell: read without loading it (no code of the file runs), and bounded.
// The scanner is still started for every such file: its entry point could
// come from a library it loads, which only loading can show.

enum class ElfEntryPoints {
    Unknown,     // not ELF, unreadable, malformed, no section headers, or tables too large to read
    NotALibrary, // an ELF program (position-independent ones too), object or core file: not loadable as a library
    Exported,    // "VSTPluginMain" or "main" is a defined, visible dynamic symbol
    NotExported, // a library whose dynamic symbol table names neither
};

// Reads the ELF header, the section headers, the dynamic section, the
// dynamic symbol table and its string table, each at most a few MiB.
ElfEntryPoints elfEntryPoints(QIODevice *file);
ElfEntryPoints elfEntryPoints(const QString &path);

// The same reading for any entry points: those of `symbols` the library
// exports go to *found (Exported when there is one).
ElfEntryPoints elfExports(const QString &path, const QList<QByteArray> &symbols, QList<QByteArray> *found);

// For a file the scanner called not a plug-in: "exports no VST 2 entry
// point, ...", "not a library: ..."; empty where the file does not tell.
QString notAPluginCause(const QString &path);

} // namespace ombrel
