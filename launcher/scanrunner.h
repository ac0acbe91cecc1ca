#pragma once

#include "scanresult.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct RunnerOptions
{
    QString scanner;                                        // path of the scanner executable
    int jobs = 1;                                           // scanner processes at once
    int timeLimitMs = 30000;                                // per plug-in; a scanner still running then is killed
    std::function<QString(const QString &path)> scannerFor; // when set, picks the scanner per plug-in
};

// Runs the scanner once per plug-in, each in its own process with a private
// result store, several at once, and turns what each process leaves (exit
// status and code, stderr lines, the store's group) into a ScanResult.
// Drives only the scanner's public contract.
class ScanRunner
{
public:
    explicit ScanRunner(RunnerOptions options);
    ~ScanRunner();

    // Scans every path and returns when all are done or cancel() was
    // called. onStarted is called as each scan starts, onResult as each
    // ends, in the order they end. Scans cut short by cancel() are killed
    // and not reported. Runs its own event loop; call from a thread with
    // none running, or from the one running it. On Linux the scanner
    // processes are killed when the launcher dies, by any signal (strictly:
    // when the thread that called run() ends). A scan that cannot be
    // started, or given a private store, ends Failed with
    // ScanResult::failure saying why.
    void run(const QStringList &paths, const std::function<void(const ScanResult &)> &onResult,
             const std::function<void(const QString &)> &onStarted = {});

    // Safe to call from onResult, onStarted or any slot of the same thread.
    void cancel();
    bool wasCancelled() const;

    // Whether each scanner process can be given a store of its own. Where it
    // cannot, scans share the user's store and run one at a time.
    static bool privateStorePerProcess();

private:
    struct State;
    std::unique_ptr<State> d;
    RunnerOptions m_options;
};
