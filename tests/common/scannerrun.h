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
    bool timedOut = false;   // still running after the time bound, then killed
    QStringList stderrLines; // decoded as UTF-8, one entry per line
    QByteArray stdoutBytes;
};

// INI group -> key -> value as a host reads them back.
using StoreContents = QMap<QString, QMap<QString, QString>>;

// Starts the scanner with its store under configHome (XDG_CONFIG_HOME).
// A scanner still running after timeoutMs is killed: a hang fails the test
// instead of holding it up.
ScanRun runScanner(const QStringList &args, const QString &configHome,
                   const QProcessEnvironment &extraEnv = QProcessEnvironment(),
                   const QString &workingDirectory = QString(), int timeoutMs = 60000);

// Extra AddressSanitizer options for one run, on top of those the test
// itself was started with; only a sanitizer build reads them.
QProcessEnvironment asanOptions(const QString &options);

QString storeFilePath(const QString &configHome);
StoreContents readStore(const QString &configHome);

QString testPluginPath(const QString &variant);
