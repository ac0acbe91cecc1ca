#pragma once

#include "launcher/core/scanresult.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>

class QObject;

namespace ombrel {

class ScanRunner;
class ScanSlotFactory;

// How each scan is kept from harming the user (run/sandbox.h).
enum class SandboxMode {
    Auto,    // a sandbox where the system allows one, else what protection remains, said so
    Require, // a sandbox or no run at all (LibraryScanStatus::NoSandbox)
    Off,     // no sandbox: the time limit, the memory limit, the scan's processes killed with it
};

// What a library scan is asked to do; ombrel-scan's options.
struct LibraryScanOptions
{
    QStringList inputs;       // files and folders; empty: defaultPluginFolders() of the formats
    QStringList formats;      // the formats to scan (files/formats.h); empty: every one
    int jobs = 1;             // scans at once
    int timeLimitMs = 30000;  // per plug-in
    bool rescan = false;      // scan every file again, cached or not
    bool retryFailed = false; // scan crashed and timed-out plug-ins again
    QString cacheFile;        // empty: defaultCacheFile()
    QString scanner;          // the native scanner; empty: found in the layout
    QString layoutBase;       // a file in the folder the scanner layout is relative to (files/scannerset.h)
    SandboxMode sandbox = SandboxMode::Auto;
    qint64 memoryLimitBytes = qint64(2) << 30; // per scan; 0: none
    QStringList readOnlyPaths;                 // folders a plug-in may also read in the sandbox
};

// What went wrong with an input or the cache, without ending the run.
enum class LibraryProblem {
    InputNotFound,     // a file or folder given does not exist: named, not scanned
    UnreadableFolder,  // a folder cannot be read (ends the run when it was given)
    NoPluginFiles,     // a folder given holds no plug-in file
    CacheUnreadable,   // the cache file cannot be read: rebuilt
    JournalNotWritten, // a result could not be appended: safe only once saved
    NoSandbox,         // SandboxMode::Auto found no sandbox: the scans run with less protection
};

// How a library scan ended.
enum class LibraryScanStatus {
    Completed,       // every candidate has a result
    Interrupted,     // cancel() cut it short; every finished scan is cached
    NoScanner,       // no native scanner to start: nothing was done
    UnreadableInput, // a folder given cannot be read: nothing was scanned
    CacheNotWritten, // the cache cannot be written (before or after scanning)
    NoSandbox,       // SandboxMode::Require, and no sandbox can be had: nothing was scanned
};

struct LibraryScanSummary
{
    LibraryScanStatus status = LibraryScanStatus::Completed;
    QString error;              // for NoScanner, CacheNotWritten and NoSandbox: what and why
    bool inputNotFound = false; // some input given did not exist
    QList<ScanResult> results;  // one per candidate that has one, in the candidates' order
    QString scanner;            // the native scanner
    QString protection;         // what protected the scans (ScanResult::protection)
    QString protectionNote;     // why it is less than a sandbox; empty when sandboxed
    qsizetype candidates = 0;   // plug-in files found
    qsizetype inCache = 0;      // when interrupted: how many of them the cache holds a current result for
};

// Told what happens during a scan, on the thread that runs it. Each member
// may call LibraryScan::cancel().
class LibraryScanEvents
{
public:
    virtual ~LibraryScanEvents() = default;
    // `message` names the input or file and says why.
    virtual void problem(LibraryProblem problem, const QString &message) = 0;
    // How many scanner processes are about to be started.
    virtual void scansPlanned(int count) = 0;
    virtual void scanStarted(const QString &path) = 0;
    // Each result as it is known: first, in the candidates' order, those
    // from the cache and from the file's header (`scanned` false), then
    // each scan as it ends (`scanned` true).
    virtual void result(const ScanResult &result, bool scanned) = 0;
};

// What --sandbox=auto gives on this machine, for --help: "a sandbox", or
// "no sandbox (why, and how to mend it)".
QString sandboxOnThisMachine();

// The names of the formats a library scan reads ("vst2", ...), as
// LibraryScanOptions::formats takes them.
QStringList scannableFormats();

// One whole library scan, from the inputs to a saved cache: finds the
// candidates, takes what the cache still holds for them (unless told to
// rescan), reads each remaining file's header to pick its scanner or judge
// it without one, runs the scans (ScanRunner) with each file's stamp taken
// before its scan, records every result in the cache as it arrives and
// saves the cache at the end.
class LibraryScan
{
public:
    // `slots` runs the scans; null: a scanner process per plug-in
    // (run/processslot.h). It must outlive run().
    LibraryScan(LibraryScanOptions options, LibraryScanEvents *events, ScanSlotFactory *slots = nullptr);
    ~LibraryScan();
    LibraryScan(const LibraryScan &) = delete;
    LibraryScan &operator=(const LibraryScan &) = delete;

    // Runs the scan on the calling thread, with an event loop of its own,
    // and returns when it is done or cancelled. Scanner processes are
    // killed if this thread ends. Call once.
    LibraryScanSummary run();

    // Stops the run soon: no new scan starts, scans in flight are killed
    // and not reported, the cache is saved. Safe from any thread, before
    // or during run().
    void cancel();

private:
    void cancelOnRunThread();
    bool cancelRequested() const { return m_cancelRequested.load(); }

    LibraryScanOptions m_options;
    LibraryScanEvents *m_events;
    ScanSlotFactory *m_slots;
    std::atomic<bool> m_cancelRequested{false};
    QMutex m_mutex; // guards m_context and m_runner for cancel() from other threads
    QObject *m_context = nullptr;
    ScanRunner *m_runner = nullptr;
};

} // namespace ombrel
