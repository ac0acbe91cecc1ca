#pragma once

#include "contract/plugindescription.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace ombrel {

// How one plug-in's scan ended, as the launcher records it.
enum class ScanOutcome {
    Ok,          // read: its plug-ins (none, for some formats) are described
    Banned,      // refused by the scanner's ban list
    NotAPlugin,  // not loadable, no entry point, refused, or nameless
    Missing,     // nothing at the path
    Crashed,     // the scanner died by a signal inside the plug-in
    TimedOut,    // killed after the time limit
    NonUtf8Name, // the file's name is not valid UTF-8: it cannot be handed
                 // to the scanner; never scanned, never cached
    Failed,      // any other end: an exit code the scanner does not give, or
                 // the scanner could not be run for it (then failure says why)
    Foreign,     // built for a format or processor no installed scanner loads; not started
    MemoryLimit, // ended (crashed or failed) at the scan's memory limit
};

// Every outcome, in the order reports list them.
const QList<ScanOutcome> &allOutcomes();

// Stable lower-case names, used in the cache file and the JSON report.
QString outcomeName(ScanOutcome outcome);
bool outcomeFromName(const QString &name, ScanOutcome *outcome);

struct ScanResult
{
    QString path;
    QString format = QStringLiteral("vst2"); // what the file was scanned as (PluginDescription::format)
    ScanOutcome outcome = ScanOutcome::Failed;
    QList<PluginDescription> descriptions; // for Ok: every plug-in the file holds
    QString note;                          // for Ok: what a host should know of them (named without loading, say)
    int signal = 0;                        // for Crashed
    int exitCode = 0;                      // the scanner's exit code when it exited
    QString failure;                       // for Failed on the launcher's side: why; never cached
    qint64 milliseconds = 0;               // wall time of the scan
    bool cached = false;                   // taken from the cache, not scanned in this run
    QDateTime scannedAt;                   // when the scan ended, in UTC
    QStringList lines;                     // the last lines the process printed, unless Ok
    QString scanner;                       // the scanner that was started, if one was
    QString binary;                        // for Foreign: what the file is built for
    QString protection;                    // what kept the scan from harming the user: "sandbox"; "limits"
                                           // (no sandbox: memory limit, system call filter, every process
                                           // of the scan killed); "none" (only its process group killed,
                                           // where no scan server is installed); empty when not scanned
    QString cause;                         // for NotAPlugin, where the file tells: why it is none
};

// Where a result is kept (the cache, a run's results): the path for VST 2,
// as it always was, and the format with the path for the others, since a
// library may carry several formats.
QString resultKey(const QString &path, const QString &format);
inline QString resultKey(const ScanResult &result)
{
    return resultKey(result.path, result.format);
}

QJsonObject toJson(const ScanResult &result);
// False when the object lacks what a result needs; an ok result needs its
// descriptions (results recorded before there were any are scanned again).
bool fromJson(const QJsonObject &object, ScanResult *result);

} // namespace ombrel
