#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace ombrel {

// A plug-in format as the launcher finds its files: where to look and what
// a candidate is. One row per format (formats.cpp); the scanner reads each
// by the same name (PluginDescription::format).
struct PluginFormat
{
    QString name;             // "vst2", ...
    QString pathVariable;     // the environment variable that names its folders
    QStringList usualFolders; // where to look without it; "~/" is the home
    QString suffix;           // what its files or bundles end with
    bool bundle = false;      // a folder with the suffix is one candidate, never walked into
    // For libraries whose suffix several formats share (".so"): the symbols
    // that make a library one of this format. A library that exports none
    // of any format's is still scanned as the first such format's, which
    // then says why it is none.
    QList<QByteArray> entrySymbols;
    bool variableAddsToUsual = false; // the variable's folders come before the usual ones, not instead
};

// Every format, in the order results and --help list them.
const QList<PluginFormat> &pluginFormats();
const PluginFormat *findFormat(const QString &name);

// The format's folders in force: those of its variable (':'-separated),
// else (or, for some formats, then) its usual ones; with `existingOnly`, those that are folders.
QStringList formatFolders(const PluginFormat &format, bool existingOnly = true);

// The formats a file or bundle found in a walk is a candidate of, among
// `wanted`: by its suffix, and for a shared suffix by the entry points the
// library exports (read without loading it). Empty: none of them.
QStringList formatsOf(const QString &path, bool isFolder, const QStringList &wanted);

// Whether a folder of this name is some format's bundle: never walked
// into for other files.
bool isBundleName(const QString &name);

} // namespace ombrel
