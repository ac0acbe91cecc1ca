#include "scanjob.h"

#include "reaper.h"
#include "syscallfilter.h"

#include "contract/serverprotocol.h"

#include "contract/filedescription.h"
#include "contract/storerecord.h"
#include "scanner/scannermain.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ombrel::scanserver;

namespace {

bool writeAll(int fd, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// In the forked child: becomes the scanner, or tells why not on `failure`.
[[noreturn]] void becomeScanner(const ScanJob &job, const QByteArray &store, const QByteArray &descriptionFile,
                                const DescribeRequest &describe, int output, int failure, const SyscallFilter &filter)
{
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The server is kept from being dumped or opened through /proc; the
    // scan's own process is the plug-in's, and dumpable as any program.
    ::prctl(PR_SET_DUMPABLE, 1);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    const int nothing = ::open("/dev/null", O_RDONLY);
    ::dup2(nothing, STDIN_FILENO);
    ::dup2(output, STDOUT_FILENO);
    ::dup2(output, STDERR_FILENO);
    ::setenv("XDG_CONFIG_HOME", store.constData(), 1);
    // An exec'd scanner is asked to describe through its environment.
    ::setenv(descriptionFileVariable(), descriptionFile.constData(), 1);
    ::setenv(scanFormatVariable(), job.format.constData(), 1);
    const char *step = "cannot limit the scan's memory";
    bool ready = true;
#if !defined(OMBREL_SANITIZED) // a sanitizer's shadow memory alone is past any limit
    // A limit past what the word size can say is no limit.
    if (job.memoryLimit > 0 && quint64(job.memoryLimit) < quint64(RLIM_INFINITY)) {
        const struct rlimit limit = {rlim_t(job.memoryLimit), rlim_t(job.memoryLimit)};
        ready = ::setrlimit(RLIMIT_DATA, &limit) == 0;
    }
#endif
    if (ready && job.taskLimit > 0) {
        // A fork storm ends at the limit, as this scan's failure. Below
        // the limit already in force, if that is lower: only root may raise it.
        step = "cannot limit the scan's processes";
        struct rlimit tasks = {};
        ready = ::getrlimit(RLIMIT_NPROC, &tasks) == 0;
        tasks.rlim_cur = tasks.rlim_max = qMin<quint64>(job.taskLimit, tasks.rlim_max);
        ready = ready && ::setrlimit(RLIMIT_NPROC, &tasks) == 0;
    }
    if (ready && filter.ready()) {
        step = "cannot load the system call filter";
        ready = filter.load();
    }
    if (ready && job.builtIn) {
        // No exec closes what the server holds: the failure pipe (which
        // the server waits on until exec), its side of the output, its
        // signals and the launcher's pipes go now.
        const int firstFree = STDERR_FILENO + 1;
        if (::syscall(SYS_close_range, firstFree, ~0U, 0) != 0) {
            for (int fd = firstFree; fd < 1024; ++fd)
                ::close(fd);
        }
        char *arguments[]
            = {const_cast<char *>(job.scanner.constData()), const_cast<char *>(job.path.constData()), nullptr};
        // As the scanner's main() returns: the same exit handlers run.
        std::exit(runScanner(2, arguments, storeFileIn(QFile::decodeName(store)), describe));
    }
    if (ready) {
        step = "cannot start the scanner";
        char *const arguments[]
            = {const_cast<char *>(job.scanner.constData()), const_cast<char *>(job.path.constData()), nullptr};
        ::execv(job.scanner.constData(), arguments);
    }
    const QByteArray why = QByteArray(step) + QByteArray(": ") + QByteArray(std::strerror(errno));
    [[maybe_unused]] const ssize_t told = ::write(failure, why.constData(), size_t(why.size()));
    ::_exit(127);
}

QByteArray endedPayload(int status, bool memoryHit, const PluginInfo &record, const QByteArray &description)
{
    QList<QByteArray> fields;
    if (WIFSIGNALED(status))
        fields << "signal" << QByteArray::number(WTERMSIG(status));
    else
        fields << "exit" << QByteArray::number(WEXITSTATUS(status));
    fields << (memoryHit ? "1" : "0");
    fields << (record.name.isEmpty() ? QByteArray()
                                     : QJsonDocument(recordToJson(record)).toJson(QJsonDocument::Compact));
    // Passed on as the scan left it: the launcher reads it as it reads a
    // description file, and JSON never holds a NUL byte.
    fields << description;
    return joinFields(fields);
}

// What the scan left, as the launcher is to read it; none where it left
// none, or more than a frame can carry (then the scan reads as one that
// left no result).
QByteArray readDescription(const QByteArray &file)
{
    FileDescription description;
    if (!readFileDescription(QFile::decodeName(file), &description))
        return QByteArray();
    const QByteArray bytes = fileDescriptionToBytes(description);
    return bytes.size() < int(kMaxPayload / 2) ? bytes : QByteArray();
}

// An abnormal end with most of the allowed memory in use: the limit ended
// it (an allocation failed, and the plug-in aborted or faulted on it).
bool hitMemoryLimit(int status, const struct rusage &usage, qint64 limit)
{
    const bool abnormal = WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0);
    return limit > 0 && abnormal && qint64(usage.ru_maxrss) * 1024 >= limit / 4 * 3;
}

} // namespace

bool runScanJob(const ScanJob &job, const QByteArray &storeBase, const Reaper &reaper, const SyscallFilter &filter,
                int requests, int reply, int childSignals)
{
    QByteArray store = storeBase + "/scan.XXXXXX";
    int output[2] = {-1, -1};
    int failure[2] = {-1, -1};
    if (!::mkdtemp(store.data()) || ::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(failure, O_CLOEXEC) != 0)
        return writeAll(
            reply, frame(Frame::NotRun, QByteArray("cannot set up the scan: ") + QByteArray(std::strerror(errno))));

    const QByteArray descriptionFile = store + "/description.json";
    const DescribeRequest describe{QFile::decodeName(descriptionFile), QString::fromLatin1(job.format)};
    const pid_t scanner = ::fork();
    if (scanner == 0)
        becomeScanner(job, store, descriptionFile, describe, output[1], failure[1], filter);
    ::close(output[1]);
    ::close(failure[1]);
    QByteArray why;
    char buffer[65536];
    for (ssize_t n; (n = ::read(failure[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            why.append(buffer, int(n));
        else if (errno != EINTR)
            break;
    }
    ::close(failure[0]);

    int status = 0;
    struct rusage usage = {};
    bool reaped = scanner < 0;
    bool launcherThere = true;
    bool outputOpen = true;
    FrameReader frames;
    while (launcherThere && (outputOpen || !reaped)) {
        // Once the scanner has ended, whatever else holds its output goes.
        if (reaped)
            reaper.killAll(scanner, &status, &usage, &reaped);
        struct pollfd fds[3] = {{output[0], POLLIN, 0}, {childSignals, POLLIN, 0}, {requests, POLLIN, 0}};
        if (::poll(fds, outputOpen ? 3 : 2, -1) < 0 && errno != EINTR)
            break;
        if (outputOpen && fds[0].revents) {
            const ssize_t n = ::read(output[0], buffer, sizeof buffer);
            if (n > 0)
                launcherThere = writeAll(reply, frame(Frame::Output, QByteArray(buffer, int(n))));
            else if (n == 0 || errno != EINTR)
                outputOpen = false;
        }
        if (fds[1].revents) {
            struct signalfd_siginfo info;
            while (::read(childSignals, &info, sizeof info) == sizeof info) { }
            if (!reaped && ::wait4(scanner, &status, WNOHANG, &usage) == scanner)
                reaped = true;
        }
        if (fds[2].revents) {
            const ssize_t n = ::read(requests, buffer, sizeof buffer);
            frames.append(QByteArray(buffer, int(qMax<ssize_t>(n, 0))));
            Frame type;
            QByteArray payload;
            bool broken = false;
            bool abort = n <= 0;
            while (frames.next(&type, &payload, &broken))
                abort = abort || type == Frame::Abort;
            launcherThere = n > 0 && !broken;
            if (abort)
                reaper.killAll(scanner, &status, &usage, &reaped);
        }
    }
    ::close(output[0]);
    reaper.killAll(scanner, &status, &usage, &reaped);

    // Read whatever the exit code: the launcher's verdict alone reads it.
    // Only a VST 2 scan keeps a store.
    PluginInfo record;
    if (why.isEmpty() && WIFEXITED(status) && describe.isVst2())
        record = readPluginRecord(storeFileIn(QFile::decodeName(store)), QFile::decodeName(job.path));
    const QByteArray description = why.isEmpty() && WIFEXITED(status) ? readDescription(descriptionFile) : QByteArray();
    QDir(QFile::decodeName(store)).removeRecursively();
    if (!launcherThere)
        return false;
    if (!why.isEmpty())
        return writeAll(reply, frame(Frame::NotRun, why));
    return writeAll(
        reply,
        frame(Frame::Ended, endedPayload(status, hitMemoryLimit(status, usage, job.memoryLimit), record, description)));
}
