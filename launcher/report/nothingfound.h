#pragma once

#include <QList>
#include <QString>

namespace ombrel {

// Where a run without files or folders named looked for plug-ins of one
// format.
struct SearchedFormat
{
    struct Folder
    {
        QString path;
        bool exists = false;
    };
    QString format;            // "vst2"
    QString variable;          // the environment variable that lists its folders
    bool fromVariable = false; // the folders came from it, not the usual ones
    QList<Folder> folders;
};

// For the table of a run that named nothing and found nothing: which
// folders were searched per format, which of them do not exist, and how to
// name others. Lines ending with a newline.
QString nothingFoundNote(const QList<SearchedFormat> &searched);

} // namespace ombrel
