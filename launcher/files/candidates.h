#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace ombrel {

// What a walk over the given folders could not turn into plug-in paths.
struct CandidateProblems
{
    struct Folder
    {
        QString path;       // shown with escapeFileName()
        QString reason;     // the system's reason
        bool given = false; // named on the command line, not found in a walk
    };
    QList<Folder> unreadableFolders;
    // Files whose names are not valid UTF-8: the scanner cannot be handed
    // them. Listed among the candidates under escapeFileName()'s form.
    QSet<QString> badNames;
};

// The plug-in files to scan, in a stable order: files named on the command
// line as given (even without the library suffix, and even when missing, so
// that they are reported), folders walked recursively for files with the
// platform's library suffix. Links to folders are followed, every real
// folder is walked once (which cuts loops), and a folder reachable without
// a link, from any of the inputs, is walked under that path. A file reached twice, by a link or by
// two inputs, is listed once, under its first path that is not a link.
QStringList findCandidates(const QStringList &inputs, CandidateProblems *problems = nullptr);

// A file name's bytes as text: valid UTF-8 decoded, any other byte shown
// as \xHH.
QString escapeFileName(const QByteArray &name);

// The folders in VST_PATH, or else the platform's usual VST 2 folders.
QStringList defaultPluginFolders();

// The same, with those that do not exist: what a run without inputs
// looked in.
QStringList searchedPluginFolders();

// The platform's usual VST 2 folders, whether they exist or not.
QStringList usualPluginFolders();

} // namespace ombrel
