#pragma once

#include "launcher/run/outputcapture.h"

#include "contract/filedescription.h"
#include "contract/plugininfo.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>

namespace ombrel {

// One plug-in to scan, as the runner hands it to a slot.
struct ScanRequest
{
    QString path;                            // as handed to the scanner, unchanged
    QString scanner;                         // the scanner for the file's architecture
    QString stamp;                           // fileStamp() taken before the scan, for the cache
    int timeLimitMs = 30000;                 // a scan still running then is killed
    QString format = QStringLiteral("vst2"); // what to read it as (PluginDescription::format)
};

// What the process of one scan did, as the slot that ran it saw it.
struct ProcessEnd
{
    enum class Ending {
        Exited,     // exitCode holds the scanner's exit code
        Crashed,    // died by `signal`
        TimedOut,   // killed by the runner at the time limit
        NotStarted, // could not be started or set up on our side: `failure` says why
    };
    Ending ending = Ending::NotStarted;
    int exitCode = 0;
    int signal = 0;
    QString failure;
    OutputCapture output; // what is kept of its standard error (and the plug-in's stdout)
    // The path's group, read back from the scan's own store after an exit
    // with 0; the name is empty when there was none to read.
    PluginInfo record;
    // What the scan left to describe the file, after an exit (any code);
    // `described` false when it left none (a scanner not asked, or one
    // that ended before writing it).
    FileDescription description;
    bool described = false;
    qint64 milliseconds = 0;
    QDateTime endedAt;           // UTC
    QString scanner;             // the program that was (or was to be) started
    bool memoryLimitHit = false; // it ended abnormally at the scan's memory limit
    QString protection;          // what kept it from harming the user (ScanResult::protection)
};

} // namespace ombrel

Q_DECLARE_METATYPE(ombrel::ProcessEnd)
