#include "usage.h"

#include "launcher/files/formats.h"

#include <QDir>

namespace {

QString optionSyntax(const QCommandLineOption &option)
{
    QStringList names;
    for (const QString &name : option.names())
        names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    QString syntax = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        syntax += QStringLiteral(" <%1>").arg(option.valueName());
    // Long-only options line up with the long names of the others.
    return names.constFirst().startsWith(QStringLiteral("--")) ? QStringLiteral("    ") + syntax : syntax;
}

} // namespace

QString usageText(const QList<QCommandLineOption> &options)
{
    // Each format's folders, with the home spelled as people write it.
    QString folders;
    for (const ombrel::PluginFormat &format : ombrel::pluginFormats()) {
        QStringList usual;
        for (const QString &folder : format.usualFolders)
            usual << folder;
        folders += QStringLiteral("  %1: the folders in %2 (separated by ':'),\n    %3 %4\n")
                       .arg(format.name, format.pathVariable,
                            format.variableAddsToUsual ? QStringLiteral("then") : QStringLiteral("else"),
                            usual.join(QStringLiteral(", ")));
    }
    QString text = QStringLiteral("Usage: ombrel-scan [options] [file or folder...]\n"
                                  "Scans plug-ins, one scanner process per file, several at once, and\n"
                                  "remembers what it found.\n\nOptions:\n");
    int width = 0;
    for (const QCommandLineOption &option : options)
        width = qMax(width, int(optionSyntax(option).size()));
    for (const QCommandLineOption &option : options) {
        // Continuation lines of a description are indented under its start.
        QString description = option.description();
        description.replace(QLatin1Char('\n'), QLatin1Char('\n') + QString(width + 4, QLatin1Char(' ')));
        text += QStringLiteral("  ") + optionSyntax(option).leftJustified(width + 2) + description + QLatin1Char('\n');
    }
    text += QStringLiteral("\nWithout a file or folder, scans each format's folders:\n%1"
                           "Folders named are searched for every format.\n\n"
                           "Exit code: 0 when the run completed, whatever the plug-ins did; 1 when a\n"
                           "file or folder given does not exist (the rest is scanned) or the cache\n"
                           "knows nothing of --log's plug-in; 2 for bad usage, a folder named that\n"
                           "cannot be read, when no scanner is found, or when --sandbox=require finds\n"
                           "no sandbox; 3 when the cache cannot be written; 4 when the report cannot\n"
                           "be written; 130 when interrupted (the cache keeps every finished scan).\n")
                .arg(folders);
    return text;
}
