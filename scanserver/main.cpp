// ombrel-scan-server: runs the scans of one launcher slot, one after the
// other, each exactly as the scanner runs on that path. Started by the
// launcher, in a sandbox of its own (as the PID namespace's init) or,
// where none can be had, directly; never by people or hosts.
//
// Usage: ombrel-scan-server <store base folder> [--namespace-init]
//
// Speaks the frames of contract/serverprotocol.h on standard input and output. Each scan
// gets a fresh store below the base folder, a data limit and a system call
// filter, in a child forked for it: the scanner built with this server runs
// there as its own code, with Qt loaded once for all scans; any other
// scanner (a 32-bit one, one named by the user) is exec'd; once its scanner has ended, every other process the scan
// started is killed, and in a sandbox its private temporary folders and
// home are emptied, so nothing reaches the next scan. Ends when the
// launcher closes its standard input, or with the launcher.

#include "emptyfolder.h"
#include "reaper.h"
#include "scanjob.h"
#include "syscallfilter.h"

#include "contract/installedlayout.h"
#include "contract/serverprotocol.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/utsname.h>
#include <unistd.h>

using namespace ombrel::scanserver;

namespace {

bool readFrame(int fd, FrameReader *reader, Frame *type, QByteArray *payload)
{
    char buffer[65536];
    for (;;) {
        bool broken = false;
        if (reader->next(type, payload, &broken))
            return true;
        if (broken)
            return false;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        reader->append(QByteArray(buffer, int(n)));
    }
}

// The tasks (processes and threads) one scan may start; real plug-ins
// start a few threads, a fork storm ends here.
constexpr quint64 kScanTasks = 256;

// Whether RLIMIT_NPROC counts the tasks of a user namespace apart from
// those of its parents (Linux 5.14 on): the sandbox's count is then the
// server's and the scan's alone.
bool countsPerNamespace()
{
    struct utsname system = {};
    int major = 0;
    int minor = 0;
    return ::uname(&system) == 0 && std::sscanf(system.release, "%d.%d", &major, &minor) == 2
        && (major > 5 || (major == 5 && minor >= 14));
}

// RLIMIT_NPROC for a scan. Elsewhere it counts every task of the user on
// the machine, so the scan gets what the machine runs now (a bound above
// the user's own count) and kScanTasks more; 0 when that cannot be read.
quint64 scanTaskLimit(bool namespaceInit)
{
    static const bool ownCount = namespaceInit && countsPerNamespace();
    if (ownCount)
        return kScanTasks + 1; // the server
    FILE *load = std::fopen("/proc/loadavg", "re");
    unsigned long long running = 0;
    unsigned long long total = 0;
    const bool read = load && std::fscanf(load, "%*s %*s %*s %llu/%llu", &running, &total) == 2;
    if (load)
        std::fclose(load);
    return read ? total + kScanTasks : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        const char usage[] = "usage: ombrel-scan-server <store base folder> [--namespace-init]\n";
        [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, usage, sizeof usage - 1);
        return 2;
    }
    const QByteArray storeBase = argv[1];
    const bool namespaceInit = argc > 2 && std::strcmp(argv[2], "--namespace-init") == 0 && ::getpid() == 1;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Not dumpable: no process of the same user, a plug-in least of all,
    // may open the server's /proc/<pid>/mem and rewrite what it reports.
    ::prctl(PR_SET_DUMPABLE, 0);
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t childSignal;
    sigemptyset(&childSignal);
    sigaddset(&childSignal, SIGCHLD);
    ::sigprocmask(SIG_BLOCK, &childSignal, nullptr);
    const int childSignals = ::signalfd(-1, &childSignal, SFD_CLOEXEC | SFD_NONBLOCK);
    const Reaper reaper(namespaceInit);
    const SyscallFilter filter;
    const QByteArray home = qgetenv("HOME");
    // The scanner built with this server lies beside it.
    const QString builtInScanner
        = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath() + QLatin1Char('/')
        + QString::fromLatin1(ombrel::layout::kScannerName);
    QDir().mkpath(QFile::decodeName(storeBase));

    if (childSignals < 0 || ::write(STDOUT_FILENO, frame(Frame::Ready).constData(), kHeaderSize) != kHeaderSize)
        return 1;
    FrameReader reader;
    Frame type;
    QByteArray payload;
    while (readFrame(STDIN_FILENO, &reader, &type, &payload)) {
        if (type != Frame::Scan)
            continue; // an abort that came after its scan had ended
        const QList<QByteArray> fields = splitFields(payload);
        ScanJob job{fields.value(0), fields.value(1), fields.value(2).toLongLong(), fields.value(3)};
        job.taskLimit = scanTaskLimit(namespaceInit);
        job.builtIn = QFileInfo(QFile::decodeName(job.scanner)).canonicalFilePath() == builtInScanner;
        if (!runScanJob(job, storeBase, reaper, filter, STDIN_FILENO, STDOUT_FILENO, childSignals))
            return 0;
        if (namespaceInit) {
            for (const QByteArray &folder : {QByteArray("/tmp"), QByteArray("/var/tmp"), QByteArray("/dev/shm"), home})
                emptyFolder(folder);
            QDir().mkpath(QFile::decodeName(storeBase));
        }
    }
    return 0;
}
