#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

// ombrel-scan's --help: the options as given to the parser, each with its
// default, then each format's folders scanned without arguments and the
// exit codes.
// Written by hand rather than by the parser, which would add options for
// Qt's own use that mean nothing to a person scanning plug-ins.
QString usageText(const QList<QCommandLineOption> &options);
