#pragma once

#include <QStringList>

// The plug-in files to scan, in a stable order: files named on the command
// line as given (even without the library suffix, and even when missing, so
// that they are reported), folders walked recursively for files with the
// platform's library suffix. A file reached twice, by a link or by two
// inputs, is listed once, under its first path that is not a link.
QStringList findCandidates(const QStringList &inputs);

// The folders in VST_PATH, or else the platform's usual VST 2 folders.
QStringList defaultPluginFolders();

// The platform's usual VST 2 folders, whether they exist or not.
QStringList usualPluginFolders();
