#pragma once

#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// One run of the built scanner, seen from the host's side.
struct ScanRun
{
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    QStringList stderrLines; // decoded as UTF-8, one entry per line
    QByteArray stdoutBytes;
};

// INI group -> key -> value as a host reads them back.
using StoreContents = QMap<QString, QMap<QString, QString>>;

// Starts the scanner with its store under configHome (XDG_CONFIG_HOME).
ScanRun runScanner(const QStringList &args, const QString &configHome,
                   const QProcessEnvironment &extraEnv = QProcessEnvironment(),
                   const QString &workingDirectory = QString());

// Extra AddressSanitizer options for one run, on top of those the test
// itself was started with; only a sanitizer build reads them.
QProcessEnvironment asanOptions(const QString &options);

QString storeFilePath(const QString &configHome);
StoreContents readStore(const QString &configHome);

QString testPluginPath(const QString &variant);
