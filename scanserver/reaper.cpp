#include "reaper.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/prctl.h>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// The server's own children, as the kernel lists them.
std::vector<pid_t> children()
{
    std::vector<pid_t> pids;
    const std::string file = "/proc/self/task/" + std::to_string(::getpid()) + "/children";
    if (FILE *list = std::fopen(file.c_str(), "re")) {
        long pid = 0;
        while (std::fscanf(list, "%ld", &pid) == 1)
            pids.push_back(pid_t(pid));
        std::fclose(list);
    }
    return pids;
}

} // namespace

Reaper::Reaper(bool namespaceInit)
    : m_namespaceInit(namespaceInit)
{
    if (!m_namespaceInit)
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
}

void Reaper::killAll(pid_t scanner, int *status, struct rusage *usage, bool *scannerReaped) const
{
    for (;;) {
        if (m_namespaceInit) {
            // Everything in the namespace but its init.
            ::kill(-1, SIGKILL);
        } else {
            for (pid_t pid : children()) {
                ::kill(-pid, SIGKILL); // the scanner's group, and groups others made
                ::kill(pid, SIGKILL);
            }
        }
        // Reaped as they die; those they leave behind come back to us and
        // are killed in the next round. A process born during a round
        // cannot be waited for blindly, so nothing blocks here.
        for (;;) {
            int childStatus = 0;
            struct rusage childUsage = {};
            const pid_t pid = ::wait4(-1, &childStatus, __WALL | WNOHANG, &childUsage);
            if (pid < 0 && errno == EINTR)
                continue;
            if (pid < 0 && errno == ECHILD)
                return;
            if (pid <= 0)
                break;
            if (pid == scanner) {
                *status = childStatus;
                *usage = childUsage;
                *scannerReaped = true;
            }
        }
        const struct timespec pause = {0, 200 * 1000};
        ::nanosleep(&pause, nullptr);
    }
}
