#pragma once

#include <sys/resource.h>
#include <sys/types.h>

// Ends every process of a scan. The server is the reaper of everything a
// scan starts: inside a sandbox it is the PID namespace's init, outside it
// a child subreaper, so double-forked daemons come back to it rather than
// escaping to the system's init.
class Reaper
{
public:
    // `namespaceInit`: the server is PID 1 of a namespace of its own, so
    // kill(-1) reaches exactly the scan's processes.
    explicit Reaper(bool namespaceInit);

    // Kills every process of the scan and reaps them all; returns once none
    // is left. When the scanner process (`scanner`) is reaped here its
    // status and usage go to *status and *usage, and *scannerReaped is set.
    void killAll(pid_t scanner, int *status, struct rusage *usage, bool *scannerReaped) const;

private:
    bool m_namespaceInit;
};
