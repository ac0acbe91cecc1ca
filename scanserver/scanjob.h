#pragma once

#include <QByteArray>

class Reaper;
class SyscallFilter;

// What one scan is run with inside the server.
struct ScanJob
{
    QByteArray scanner;
    QByteArray path;
    qint64 memoryLimit = 0; // bytes of data per scan; 0: none
    QByteArray format;      // what to describe the file as ("vst2", "clap", ...)
    // RLIMIT_NPROC for the scan's processes: the tasks (threads included)
    // its user may have, as the kernel counts them there; 0: none.
    quint64 taskLimit = 0;
    // The scanner is the one built with this server: its code runs in the
    // forked child, with Qt already loaded, instead of being exec'd.
    bool builtIn = false;
};

// Runs one scan: forks the scanner with a store of its own below
// storeBase, forwards what it prints to `reply` as it comes, obeys an
// abort read from `requests`, and once the scanner has ended kills
// everything else the scan started. Writes the Ended (or NotRun) frame.
// False when the launcher went away (its end of `requests` closed, or
// `reply` broken): the server then ends too.
bool runScanJob(const ScanJob &job, const QByteArray &storeBase, const Reaper &reaper, const SyscallFilter &filter,
                int requests, int reply, int childSignals);
