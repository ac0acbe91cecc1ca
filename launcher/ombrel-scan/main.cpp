// ombrel-scan: scans a whole plug-in library, one scanner process per file,
// several at once, and remembers what it found.
//
// Usage: ombrel-scan [options] [file or folder...]
// With no file or folder, scans the folders in VST_PATH, else the usual VST 2
// folders of the platform.
//
// Exit code: 0 when the run completed, whatever the plug-ins did;
//            2 for bad usage, a folder named that cannot be read, or
//              when no scanner can be found;
//            3 when the cache file cannot be written;
//            4 when the report cannot be written (a closed pipe ends
//              quietly by SIGPIPE instead, as with other tools);
//            130 when interrupted (the cache keeps every finished scan).

#include "launcher/candidates.h"
#include "launcher/report.h"
#include "launcher/scancache.h"
#include "launcher/scanrunner.h"
#include "launcher/terminaltext.h"
#include "options.h"
#include "standardoutput.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

enum ExitCode { ExitDone = 0, ExitUsage = 2, ExitCache = 3, ExitOutput = 4, ExitInterrupted = 130 };

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void printError(const QString &message)
{
    std::fprintf(stderr, "ombrel-scan: %s\n", qPrintable(message));
}

QString findScanner(const QString &given)
{
    if (!given.isEmpty())
        return QFileInfo(given).isExecutable() ? QFileInfo(given).absoluteFilePath() : QString();
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString &candidate : {dir + QStringLiteral("/OmbrelPluginScanner"),
                                     dir + QStringLiteral("/../libexec/ombrel/OmbrelPluginScanner")}) {
        if (QFileInfo(candidate).isExecutable())
            return QFileInfo(candidate).canonicalFilePath();
    }
    return QString();
}

// One line on a terminal, rewritten in place.
class Progress
{
public:
    Progress(int total, bool enabled)
        : m_total(total)
        , m_enabled(enabled)
    {
        m_clock.start();
    }

    void started(const QString &path)
    {
        m_current = escapedForTerminal(path);
        show();
    }

    void finished()
    {
        ++m_done;
        show();
    }

    void clear() const
    {
        if (m_enabled)
            std::fputs("\r\033[K", stderr);
    }

private:
    void show() const
    {
        if (!m_enabled)
            return;
        std::fprintf(stderr, "\r\033[K[%d/%d] %.1fs %s", m_done, m_total, m_clock.elapsed() / 1000.0,
                     qPrintable(m_current));
        std::fflush(stderr);
    }

    int m_total;
    int m_done = 0;
    bool m_enabled;
    QString m_current;
    QElapsedTimer m_clock;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ombrel-scan"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Scans VST 2 plug-ins, one scanner process per file."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("paths"), QStringLiteral("Plug-in files and folders to scan."),
                                 QStringLiteral("[paths...]"));
    const QCommandLineOption jobsOption({QStringLiteral("j"), QStringLiteral("jobs")},
                                        QStringLiteral("Scans at once (default: processors)."), QStringLiteral("n"),
                                        QString::number(defaultJobs()));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("Seconds a scan may take (default: 30)."),
                                           QStringLiteral("seconds"), QStringLiteral("30"));
    const QCommandLineOption rescanOption(QStringLiteral("rescan"), QStringLiteral("Scan every file again."));
    const QCommandLineOption retryOption(QStringLiteral("retry-failed"),
                                         QStringLiteral("Scan crashed and timed-out plug-ins again."));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print one JSON document."));
    const QCommandLineOption cacheOption(QStringLiteral("cache"), QStringLiteral("The cache file to use."),
                                         QStringLiteral("file"), defaultCacheFile());
    const QCommandLineOption scannerOption(QStringLiteral("scanner"), QStringLiteral("The scanner to run."),
                                           QStringLiteral("file"));
    parser.addOptions({jobsOption, timeoutOption, rescanOption, retryOption, jsonOption, cacheOption, scannerOption});
    if (!parser.parse(QCoreApplication::arguments())) {
        printError(parser.errorText());
        return ExitUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return ExitDone;
    }

    int jobs = 0;
    int timeLimitMs = 0;
    QString message;
    if (!parseJobs(parser.value(jobsOption), &jobs, &message)
        || !parseTimeout(parser.value(timeoutOption), &timeLimitMs, &message)) {
        printError(message);
        return ExitUsage;
    }
    const QString scanner = findScanner(parser.value(scannerOption));
    if (scanner.isEmpty()) {
        printError(QStringLiteral("no scanner found; name it with --scanner"));
        return ExitUsage;
    }

    ScanCache cache(parser.value(cacheOption), scannerIdentity(scanner));
    cache.load(&message);
    if (!message.isEmpty())
        printError(message);
    // Find out now, not after an hour of scanning, that the cache is unusable.
    if (!cache.save(&message)) {
        printError(message);
        return ExitCache;
    }

    const QStringList inputs = parser.positionalArguments();
    CandidateProblems problems;
    const QStringList candidates = findCandidates(inputs.isEmpty() ? defaultPluginFolders() : inputs, &problems);
    bool givenUnreadable = false;
    for (const CandidateProblems::Folder &folder : problems.unreadableFolders) {
        printError(QStringLiteral("cannot read folder %1 (%2)").arg(escapedForTerminal(folder.path), folder.reason));
        givenUnreadable = givenUnreadable || (folder.given && !inputs.isEmpty());
    }
    if (givenUnreadable)
        return ExitUsage;

    QMap<QString, ScanResult> results;
    QStringList toScan;
    // Taken before the scan: a file changed while it is scanned must not
    // get the old file's result under its new stamp.
    QHash<QString, QString> stamps;
    for (const QString &path : candidates) {
        if (problems.badNames.contains(path)) {
            ScanResult named;
            named.path = path;
            named.outcome = ScanOutcome::NonUtf8Name;
            results.insert(path, named);
            continue;
        }
        ScanResult cached;
        const bool usable = !parser.isSet(rescanOption) && cache.lookup(path, &cached)
            && !(parser.isSet(retryOption)
                 && (cached.outcome == ScanOutcome::Crashed || cached.outcome == ScanOutcome::TimedOut));
        if (usable) {
            results.insert(path, cached);
        } else {
            toScan << path;
            stamps.insert(path, fileStamp(path));
        }
    }

    ScanRunner runner({scanner, jobs, timeLimitMs});

    // Signals only write a byte; the event loop turns it into a cancel.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        printError(QStringLiteral("cannot set up signal handling"));
        return ExitUsage;
    }
    QSocketNotifier interrupt(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupt, &QSocketNotifier::activated, [&runner] { runner.cancel(); });
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, onSignal);

    Progress progress(int(toScan.size()), ::isatty(STDERR_FILENO));
    QString journalError;
    runner.run(
        toScan,
        [&](const ScanResult &result) {
            results.insert(result.path, result);
            if (!cache.insert(result, stamps.value(result.path), &message) && journalError.isEmpty())
                journalError = message;
            progress.finished();
        },
        [&](const QString &path) { progress.started(path); });
    progress.clear();

    // The results are in the cache once it is saved; until then, a failed
    // append only cost them their safety from a kill.
    if (!journalError.isEmpty())
        printError(journalError);
    if (!cache.save(&message)) {
        printError(message);
        return ExitCache;
    }

    QList<ScanResult> ordered;
    for (const QString &path : candidates) {
        if (results.contains(path))
            ordered << results.value(path);
    }
    const bool interrupted = runner.wasCancelled();
    if (!writeStandardOutput(parser.isSet(jsonOption) ? reportJson(ordered, scanner, interrupted)
                                                      : reportTable(ordered).toUtf8(),
                             &message)) {
        printError(message);
        return ExitOutput;
    }
    if (interrupted) {
        printError(QStringLiteral("interrupted; %1 of %2 plug-ins are in the cache")
                       .arg(ordered.size())
                       .arg(candidates.size()));
        return ExitInterrupted;
    }
    return ExitDone;
}
