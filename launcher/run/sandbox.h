#pragma once

#include <QString>
#include <QStringList>

namespace ombrel {

// The sandbox a scan server runs in: bubblewrap with user, PID, network,
// IPC and UTS namespaces of its own. Inside, the system (/usr, /etc, the
// loader's links) and the folders named are read-only; /tmp, /var/tmp,
// /dev/shm, /run and the home are empty tmpfs mounts of a capped size, so
// that no unix socket of the user's session can be reached and nothing
// written outlives the sandbox; no network but an empty loopback; the
// environment holds only the locale, PATH and the private home's
// folders; no capability, whoever runs it; the server is the PID
// namespace's init, so no scan can signal it or anything outside, and
// everything dies with the launcher.

struct SandboxCheck
{
    bool available = false;
    QString bubblewrap; // the program, when found
    QString problem;    // when not available: the cause and how to mend it
};

// Looks for bwrap on PATH and starts it once with the namespaces a scan
// gets, so that a refusal is known before any scan, with its cause
// (unprivileged user namespaces turned off by a sysctl or a security
// module, no bubblewrap) and the fix.
SandboxCheck checkSandbox();

struct SandboxLayout
{
    QString bubblewrap;
    QString server;                  // the scan server's executable
    QStringList readOnly;            // folders the scans may read: plug-ins', scanners', the user's extras
    QString workingFolder;           // where relative plug-in paths start
    qint64 tmpfsBytes = 128LL << 20; // the cap on each writable mount
};

// bubblewrap's arguments, then the server's, to run the server in the sandbox.
QStringList sandboxArguments(const SandboxLayout &layout);

// The home a scan sees: empty, private, with its XDG folders inside.
QString sandboxHome();

} // namespace ombrel
