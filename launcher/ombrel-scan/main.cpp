// ombrel-scan: scans a whole plug-in library, one scanner process per file,
// several at once, and remembers what it found.
//
// Usage: ombrel-scan [options] [file or folder...]
// With no file or folder, scans the folders in VST_PATH, else the usual VST 2
// folders of the platform.
//
// Exit code: 0 when the run completed, whatever the plug-ins did;
//            1 when a file or folder given does not exist (the rest is scanned),
//              or when --log names a plug-in the cache knows nothing of;
//            2 for bad usage, a folder named that cannot be read, or
//              when no scanner can be found;
//            3 when the cache file cannot be written;
//            4 when the report cannot be written (a closed pipe ends
//              quietly by SIGPIPE instead, as with other tools);
//            130 when interrupted (the cache keeps every finished scan).

#include "launcher/candidates.h"
#include "launcher/jsonlines.h"
#include "launcher/report.h"
#include "launcher/scancache.h"
#include "launcher/scannerset.h"
#include "launcher/scanrunner.h"
#include "launcher/terminaltext.h"
#include "logcommand.h"
#include "options.h"
#include "standardoutput.h"
#include "usage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

enum ExitCode { ExitDone = 0, ExitNotFound = 1, ExitUsage = 2, ExitCache = 3, ExitOutput = 4, ExitInterrupted = 130 };

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

// Where the native scanner is looked for when --scanner does not name it,
// for --help: the layout that findScanners() reads.
QStringList scannerPlaces()
{
    const QString dir = QCoreApplication::applicationDirPath();
    return {dir + QStringLiteral("/OmbrelPluginScanner"),
            QDir::cleanPath(dir + QStringLiteral("/../libexec/ombrel/OmbrelPluginScanner"))};
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
    QCoreApplication::setApplicationVersion(QStringLiteral(OMBREL_VERSION));

    // Each description names the default in force, as --help shows it.
    const QString processors = QString::number(defaultJobs());
    const QCommandLineOption jobsOption(
        {QStringLiteral("j"), QStringLiteral("jobs")},
        QStringLiteral("scans at once, 1 to 1024 (default: %1, the number of processors)").arg(processors),
        QStringLiteral("n"), processors);
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"), QStringLiteral("a scan still running then is killed; 0.1 to 86400 (default: 30)"),
        QStringLiteral("seconds"), QStringLiteral("30"));
    const QCommandLineOption rescanOption(QStringLiteral("rescan"), QStringLiteral("scan every file again"));
    const QCommandLineOption retryOption(QStringLiteral("retry-failed"),
                                         QStringLiteral("scan crashed and timed-out plug-ins again"));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("print one JSON document instead of the table"));
    const QCommandLineOption jsonLinesOption(QStringLiteral("json-lines"),
                                             QStringLiteral("print one JSON object per line as each result is known"));
    const QCommandLineOption cacheOption(QStringLiteral("cache"),
                                         QStringLiteral("the cache file (default: %1)").arg(defaultCacheFile()),
                                         QStringLiteral("file"), defaultCacheFile());
    const QCommandLineOption scannerOption(QStringLiteral("scanner"),
                                           QStringLiteral("the native scanner to run (default: %1,\nelse %2;\n"
                                                          "32-bit plug-ins: the i386/ folder beside it)")
                                               .arg(scannerPlaces().at(0), scannerPlaces().at(1)),
                                           QStringLiteral("file"));
    const QCommandLineOption logOption(QStringLiteral("log"),
                                       QStringLiteral("show, without scanning, what the cache knows of one plug-in:\n"
                                                      "outcome, exit code or signal, when, and its last lines"),
                                       QStringLiteral("file"));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("show this help"));
    const QCommandLineOption versionOption(QStringLiteral("version"), QStringLiteral("show the program's version"));
    const QList<QCommandLineOption> options{jobsOption, timeoutOption,   rescanOption, retryOption,
                                            jsonOption, jsonLinesOption, cacheOption,  scannerOption,
                                            logOption,  helpOption,      versionOption};
    QCommandLineParser parser;
    parser.addOptions(options);
    if (!parser.parse(QCoreApplication::arguments())) {
        printError(parser.errorText());
        return ExitUsage;
    }
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(usageText(options, usualPluginFolders())), stdout);
        return ExitDone;
    }
    if (parser.isSet(versionOption)) {
        std::printf("ombrel-scan %s\n", OMBREL_VERSION);
        return ExitDone;
    }

    if (parser.isSet(logOption))
        return printLog(parser.value(logOption), parser.value(cacheOption), parser.value(scannerOption));

    int jobs = 0;
    int timeLimitMs = 0;
    QString message;
    if (!parseJobs(parser.value(jobsOption), &jobs, &message)
        || !parseTimeout(parser.value(timeoutOption), &timeLimitMs, &message)) {
        printError(message);
        return ExitUsage;
    }
    const bool jsonLines = parser.isSet(jsonLinesOption);
    if (jsonLines && parser.isSet(jsonOption)) {
        printError(QStringLiteral("--json and --json-lines: choose one"));
        return ExitUsage;
    }
    const ScannerSet scanners = findScanners(parser.value(scannerOption), QCoreApplication::applicationFilePath());
    const QString scanner = scanners.native.path;
    if (scanner.isEmpty()) {
        printError(QStringLiteral("no scanner found; name it with --scanner"));
        return ExitUsage;
    }

    ScanCache cache(parser.value(cacheOption), scannerSetIdentity(scanners));
    cache.load(&message);
    if (!message.isEmpty())
        printError(message);
    // Find out now, not after an hour of scanning, that the cache is unusable.
    if (!cache.save(&message)) {
        printError(message);
        return ExitCache;
    }

    // A mistyped path is the user's error, not a missing plug-in: it is
    // named, not scanned, and the run ends with ExitNotFound.
    QStringList inputs;
    bool inputNotFound = false;
    for (const QString &input : parser.positionalArguments()) {
        if (!QFileInfo::exists(input) && !QFileInfo(input).isSymLink()) {
            printError(QStringLiteral("%1: no such file or folder").arg(escapedForTerminal(input)));
            inputNotFound = true;
            continue;
        }
        inputs << input;
    }
    CandidateProblems problems;
    const QStringList candidates
        = findCandidates(parser.positionalArguments().isEmpty() ? defaultPluginFolders() : inputs, &problems);
    bool givenUnreadable = false;
    for (const CandidateProblems::Folder &folder : problems.unreadableFolders) {
        printError(QStringLiteral("cannot read folder %1 (%2)").arg(escapedForTerminal(folder.path), folder.reason));
        givenUnreadable = givenUnreadable || (folder.given && !inputs.isEmpty());
    }
    if (givenUnreadable)
        return ExitUsage;
    for (const QString &input : inputs) {
        // Walked again only when no candidate came from it under its name
        // (a file reached twice is listed once, maybe under another input).
        const auto fromIt = [&input](const QString &path) { return path.startsWith(input); };
        if (QFileInfo(input).isDir() && std::none_of(candidates.begin(), candidates.end(), fromIt)
            && findCandidates({input}).isEmpty())
            printError(QStringLiteral("%1: no plug-in file (*.so) in this folder").arg(escapedForTerminal(input)));
    }

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

    // No scanner is started for a file that none of them can load.
    QList<ScanResult> unstarted;
    const QHash<QString, QString> scannerOf = assignScanners(scanners, &toScan, &unstarted);
    QString journalError;
    for (ScanResult result : unstarted) {
        result.scannedAt = QDateTime::currentDateTimeUtc();
        results.insert(result.path, result);
        if (!cache.insert(result, stamps.value(result.path), &message) && journalError.isEmpty())
            journalError = message;
    }

    // A host reading the pipe sees each line as soon as it is known: what
    // the cache and the file headers tell first, then each scan as it ends.
    // A line that cannot be written ends the run: nobody reads the rest.
    QString outputError;
    auto writeLine = [&outputError](const QByteArray &line) {
        if (outputError.isEmpty())
            writeStandardOutput(line, &outputError);
        return outputError.isEmpty();
    };
    if (jsonLines) {
        for (const QString &path : candidates) {
            if (results.contains(path) && !writeLine(jsonLineResult(results.value(path))))
                break;
        }
    }

    ScanRunner runner(
        {scanner, jobs, timeLimitMs, [&scannerOf](const QString &path) { return scannerOf.value(path); }});

    // Signals only write a byte; the event loop turns it into a cancel.
    // Close-on-exec: no scanner or plug-in may hold it, or cancel the run.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        printError(QStringLiteral("cannot set up signal handling"));
        return ExitUsage;
    }
    QSocketNotifier interrupt(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupt, &QSocketNotifier::activated, [&runner] { runner.cancel(); });
    // The first signal cancels the run; a second, if the event loop is
    // stuck (a reader that stopped reading), ends the process as usual.
    struct sigaction cancelOnce = {};
    cancelOnce.sa_handler = onSignal;
    cancelOnce.sa_flags = SA_RESETHAND;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &cancelOnce, nullptr);

    Progress progress(int(toScan.size()), ::isatty(STDERR_FILENO));
    runner.run(
        toScan,
        [&](const ScanResult &result) {
            results.insert(result.path, result);
            if (!cache.insert(result, stamps.value(result.path), &message) && journalError.isEmpty())
                journalError = message;
            if (jsonLines && !writeLine(jsonLineResult(result)))
                runner.cancel();
            progress.finished();
        },
        [&](const QString &path) { progress.started(path); });
    progress.clear();
    // Nothing reads the signal socket any more: a signal while the cache or
    // the report is written ends the process, as it would any other tool.
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, SIG_DFL);

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
    const QString logHint = logCommandLine(parser.isSet(cacheOption) ? parser.value(cacheOption) : QString());
    if (jsonLines)
        writeLine(jsonLineSummary(ordered, scanner, interrupted));
    else
        writeStandardOutput(parser.isSet(jsonOption) ? reportJson(ordered, scanner, interrupted)
                                                     : reportTable(ordered, logHint).toUtf8(),
                            &outputError);
    if (!outputError.isEmpty()) {
        printError(outputError);
        return ExitOutput;
    }
    if (interrupted) {
        // What the next run will not scan again: entries from this run and,
        // under --rescan, earlier ones that still stand.
        const auto inCache = std::count_if(candidates.begin(), candidates.end(), [&cache](const QString &path) {
            ScanResult cached;
            return cache.lookup(path, &cached);
        });
        printError(QStringLiteral("interrupted; the cache holds %1 of the %2")
                       .arg(inCache)
                       .arg(plugInCount(candidates.size())));
        return ExitInterrupted;
    }
    return inputNotFound ? ExitNotFound : ExitDone;
}
