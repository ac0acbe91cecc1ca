#include "launcher/report/nothingfound.h"

#include "launcher/report/terminaltext.h"

#include <QStringList>

namespace ombrel {

QString nothingFoundNote(const QList<SearchedFormat> &searched)
{
    QString note = QStringLiteral("No plug-in found in the folders searched:\n");
    QStringList variables;
    for (const SearchedFormat &format : searched) {
        note
            += QStringLiteral("  %1 plug-ins, %2:\n")
                   .arg(format.format,
                        format.fromVariable ? QStringLiteral("the folders in %1").arg(format.variable)
                                            : QStringLiteral("the usual folders (%1 is not set)").arg(format.variable));
        int width = 0;
        for (const SearchedFormat::Folder &folder : format.folders)
            width = qMax(width, int(escapedForTerminal(folder.path).size()));
        for (const SearchedFormat::Folder &folder : format.folders)
            note += QStringLiteral("    %1  %2\n")
                        .arg(escapedForTerminal(folder.path).leftJustified(width),
                             folder.exists ? QStringLiteral("holds no plug-in") : QStringLiteral("does not exist"));
        if (format.folders.isEmpty())
            note += QStringLiteral("    none: %1 names no folder\n").arg(format.variable);
        variables << format.variable;
    }
    note += QStringLiteral("To scan a folder, name it: ombrel-scan /path/to/plug-ins; or list folders in %1, "
                           "separated by ':'.\n")
                .arg(variables.join(QStringLiteral(", ")));
    return note;
}

} // namespace ombrel
