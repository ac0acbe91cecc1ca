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
// that they are reported), folders walked recursively for files with a
// format's suffix and for bundles (folders that are one plug-in, such as
// *.vst3, listed and not walked into). Links to folders are followed, every real
// folder is walked once (which cuts loops), and a folder reachable without
// a link, from any of the inputs, is walked under that path. A file reached twice, by a link or by
// two inputs, is listed once, under its first path that is not a link.
QStringList findCandidates(const QStringList &inputs, CandidateProblems *problems = nullptr);

// A file name's bytes as text: valid UTF-8 decoded, any other byte shown
// as \xHH.
QString escapeFileName(const QByteArray &name);

// One file or bundle to scan as one format.
struct Candidate
{
    QString path;
    QString format;
};

// The candidates of the paths findCandidates() found, for the formats
// wanted: a library may be one of several (formats.h's formatsOf). Paths
// in `given` were named by the user and are scanned whatever their name.
QList<Candidate> candidatesOf(const QStringList &paths, const QStringList &formats, const QStringList &given);

// The folders of the formats, each once: for each, those in its variable
// (VST_PATH, ...), or else its usual ones; only those that exist.
QStringList defaultPluginFolders(const QStringList &formats);

} // namespace ombrel
