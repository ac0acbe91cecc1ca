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
//            2 for bad usage, a folder named that cannot be read,
//              when no scanner can be found, or when --sandbox=require
//              finds no sandbox;
//            3 when the cache file cannot be written;
//            4 when the report cannot be written (a closed pipe ends
//              quietly by SIGPIPE instead, as with other tools);
//            130 when interrupted (the cache keeps every finished scan).

#include "errors.h"
#include "logcommand.h"
#include "options.h"
#include "reportwriter.h"
#include "terminalwidth.h"
#include "usage.h"

#include "launcher/cache/scancache.h"
#include "launcher/files/candidates.h"
#include "launcher/files/formats.h"
#include "launcher/library/libraryscan.h"
#include "launcher/report/jsonlines.h"
#include "launcher/report/nothingfound.h"
#include "launcher/report/report.h"
#include "launcher/report/terminaltext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <memory>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace ombrel;

namespace {

enum ExitCode { ExitDone = 0, ExitNotFound = 1, ExitUsage = 2, ExitCache = 3, ExitOutput = 4, ExitInterrupted = 130 };

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// Where the native scanner is looked for when --scanner does not name it,
// for --help: the layout that findScanners() reads.
QStringList scannerPlaces()
{
    const QString dir = QCoreApplication::applicationDirPath();
    return {dir + QStringLiteral("/OmbrelPluginScanner"),
            QDir::cleanPath(dir + QStringLiteral("/../libexec/ombrel/OmbrelPluginScanner"))};
}

// Where a run without inputs looks, per format.
QList<SearchedFormat> searchedFolders(const QStringList &formats)
{
    QList<SearchedFormat> searched;
    for (const PluginFormat &format : pluginFormats()) {
        if (!formats.isEmpty() && !formats.contains(format.name))
            continue;
        SearchedFormat one{format.name,
                           format.pathVariable,
                           !qEnvironmentVariableIsEmpty(format.pathVariable.toLatin1().constData()),
                           {}};
        for (const QString &folder : formatFolders(format, false))
            one.folders.append({folder, QFileInfo(folder).isDir()});
        searched << one;
    }
    return searched;
}

// One line on a terminal, rewritten in place.
class Progress
{
public:
    explicit Progress(bool enabled)
        : m_enabled(enabled)
    {
        m_clock.start();
    }

    void planned(int total) { m_total = total; }

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

    int m_total = 0;
    int m_done = 0;
    bool m_enabled;
    QString m_current;
    QElapsedTimer m_clock;
};

// The options, each description naming the default in force, as --help
// shows it.
struct CommandLine
{
    const QString processors = QString::number(defaultJobs());
    const QCommandLineOption jobs{
        {QStringLiteral("j"), QStringLiteral("jobs")},
        QStringLiteral("scans at once, 1 to 1024 (default: %1, the number of processors)").arg(processors),
        QStringLiteral("n"),
        processors};
    const QCommandLineOption timeout{QStringLiteral("timeout"),
                                     QStringLiteral("a scan still running then is killed; 0.1 to 86400 (default: 30)"),
                                     QStringLiteral("seconds"), QStringLiteral("30")};
    const QCommandLineOption rescan{QStringLiteral("rescan"), QStringLiteral("scan every file again")};
    const QCommandLineOption retry{QStringLiteral("retry-failed"),
                                   QStringLiteral("scan crashed, timed-out and memory-limit plug-ins again")};
    const QCommandLineOption json{QStringLiteral("json"),
                                  QStringLiteral("print one JSON document instead of the table")};
    const QCommandLineOption jsonLines{QStringLiteral("json-lines"),
                                       QStringLiteral("print one JSON object per line as each result is known")};
    const QCommandLineOption cache{QStringLiteral("cache"),
                                   QStringLiteral("the cache file (default: %1)").arg(defaultCacheFile()),
                                   QStringLiteral("file"), defaultCacheFile()};
    const QCommandLineOption scanner{QStringLiteral("scanner"),
                                     QStringLiteral("the native scanner to run (default: %1,\nelse %2;\n"
                                                    "32-bit plug-ins: the i386/ folder beside it)")
                                         .arg(scannerPlaces().at(0), scannerPlaces().at(1)),
                                     QStringLiteral("file")};
    const QCommandLineOption log{QStringLiteral("log"),
                                 QStringLiteral("show, without scanning, what the cache knows of one plug-in:\n"
                                                "outcome, exit code or signal, when, and its last lines"),
                                 QStringLiteral("file")};
    const QCommandLineOption sandbox{QStringLiteral("sandbox"),
                                     // What "here" is costs a run of bwrap: told only with the help.
                                     QStringLiteral("auto, require or off (default: auto; here: %1)"),
                                     QStringLiteral("mode"), QStringLiteral("auto")};
    const QCommandLineOption memoryLimit{
        QStringLiteral("memory-limit"),
        QStringLiteral("a scan that uses more memory ends; 16M to 1T, or 0 for none (default: 2G)"),
        QStringLiteral("size"), QStringLiteral("2G")};
    const QCommandLineOption allowRead{QStringLiteral("allow-read"),
                                       QStringLiteral("a folder plug-ins may also read in the sandbox; repeatable"),
                                       QStringLiteral("folder")};
    const QCommandLineOption format{QStringLiteral("format"),
                                    QStringLiteral("the formats to scan, separated by ',' (default: every one: %1)")
                                        .arg(formatNames().join(QStringLiteral(", "))),
                                    QStringLiteral("names")};
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("show this help")};
    const QCommandLineOption version{QStringLiteral("version"), QStringLiteral("show the program's version")};

    QList<QCommandLineOption> all() const
    {
        return {jobs,    timeout, rescan,      retry,     json, jsonLines, cache,  format,
                scanner, sandbox, memoryLimit, allowRead, log,  help,      version};
    }

    QList<QCommandLineOption> forHelp() const
    {
        QList<QCommandLineOption> options = all();
        for (QCommandLineOption &option : options) {
            if (option.names() == sandbox.names())
                option.setDescription(option.description().arg(sandboxOnThisMachine()));
        }
        return options;
    }
};

// What the run tells as it goes: problems on stderr, the progress line,
// and with --json-lines each result as soon as it is known. A line that
// cannot be written ends the run: nobody reads the rest.
class CommandLineEvents : public LibraryScanEvents
{
public:
    explicit CommandLineEvents(bool jsonLines)
        : m_jsonLines(jsonLines)
        , m_progress(::isatty(STDERR_FILENO))
    {
    }

    void setScan(LibraryScan *scan) { m_scan = scan; }

    void problem(LibraryProblem, const QString &message) override { printError(message); }
    void scansPlanned(int count) override;
    void scanStarted(const QString &path) override { m_progress.started(path); }
    void result(const ScanResult &result, bool scanned) override
    {
        if (m_jsonLines && !writeLine(jsonLineResult(result)))
            m_scan->cancel();
        if (scanned)
            m_progress.finished();
    }

    // After the run: the progress line goes, and signals have their
    // default effect again (nothing reads the signal socket any more).
    void scanEnded();

    bool writeLine(const QByteArray &line)
    {
        if (m_outputError.isEmpty())
            writeStandardOutput(line, &m_outputError);
        return m_outputError.isEmpty();
    }
    QString outputError() const { return m_outputError; }

private:
    bool m_jsonLines;
    LibraryScan *m_scan = nullptr;
    Progress m_progress;
    QString m_outputError;
    std::unique_ptr<QSocketNotifier> m_interrupt;
};

void CommandLineEvents::scansPlanned(int count)
{
    m_progress.planned(count);
    // Signals only write a byte; the event loop turns it into a cancel.
    // Close-on-exec: no scanner or plug-in may hold it, or cancel the run.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        printError(QStringLiteral("cannot set up signal handling; Ctrl-C ends the run without saving the cache"));
        return;
    }
    m_interrupt = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(m_interrupt.get(), &QSocketNotifier::activated, [this] { m_scan->cancel(); });
    // The first signal cancels the run; a second, if the event loop is
    // stuck (a reader that stopped reading), ends the process as usual.
    struct sigaction cancelOnce = {};
    cancelOnce.sa_handler = onSignal;
    cancelOnce.sa_flags = SA_RESETHAND;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &cancelOnce, nullptr);
}

void CommandLineEvents::scanEnded()
{
    m_progress.clear();
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, SIG_DFL);
    m_interrupt.reset();
}

int scanLibrary(const QCommandLineParser &parser, const CommandLine &options)
{
    LibraryScanOptions scanOptions;
    QString message;
    if (!parseJobs(parser.value(options.jobs), &scanOptions.jobs, &message)
        || !parseTimeout(parser.value(options.timeout), &scanOptions.timeLimitMs, &message)
        || !parseMemoryLimit(parser.value(options.memoryLimit), &scanOptions.memoryLimitBytes, &message)
        || !parseSandboxMode(parser.value(options.sandbox), &scanOptions.sandbox, &message)
        || (parser.isSet(options.format)
            && !parseFormats(parser.value(options.format), &scanOptions.formats, &message))) {
        printError(message);
        return ExitUsage;
    }
    const bool jsonLines = parser.isSet(options.jsonLines);
    if (jsonLines && parser.isSet(options.json)) {
        printError(QStringLiteral("--json and --json-lines: choose one"));
        return ExitUsage;
    }
    scanOptions.inputs = parser.positionalArguments();
    scanOptions.rescan = parser.isSet(options.rescan);
    scanOptions.retryFailed = parser.isSet(options.retry);
    scanOptions.cacheFile = parser.value(options.cache);
    scanOptions.scanner = parser.value(options.scanner);
    scanOptions.layoutBase = QCoreApplication::applicationFilePath();
    scanOptions.readOnlyPaths = parser.values(options.allowRead);

    CommandLineEvents events(jsonLines);
    LibraryScan scan(scanOptions, &events);
    events.setScan(&scan);
    const LibraryScanSummary summary = scan.run();
    events.scanEnded();
    switch (summary.status) {
    case LibraryScanStatus::NoScanner:
    case LibraryScanStatus::NoSandbox:
        printError(summary.error);
        return ExitUsage;
    case LibraryScanStatus::UnreadableInput: // told as a problem already
        return ExitUsage;
    case LibraryScanStatus::CacheNotWritten:
        printError(summary.error);
        return ExitCache;
    case LibraryScanStatus::Completed:
    case LibraryScanStatus::Interrupted:
        break;
    }

    const bool interrupted = summary.status == LibraryScanStatus::Interrupted;
    const RunProtection protection{summary.protection, summary.protectionNote};
    if (jsonLines)
        events.writeLine(jsonLineSummary(summary.results, summary.scanner, interrupted, protection));
    else if (parser.isSet(options.json))
        events.writeLine(reportJson(summary.results, summary.scanner, interrupted, protection));
    else {
        QString table = reportTable(
            summary.results, protection,
            logCommandLine(parser.isSet(options.cache) ? parser.value(options.cache) : QString()), tableWidth());
        // A first run on a machine without plug-ins: say where it looked.
        if (summary.results.isEmpty() && scanOptions.inputs.isEmpty() && !interrupted)
            table += nothingFoundNote(searchedFolders(scanOptions.formats));
        events.writeLine(table.toUtf8());
    }
    if (!events.outputError().isEmpty()) {
        printError(events.outputError());
        return ExitOutput;
    }
    if (interrupted) {
        printError(QStringLiteral("interrupted; the cache holds %1 of the %2")
                       .arg(summary.inCache)
                       .arg(fileCount(summary.candidates)));
        return ExitInterrupted;
    }
    return summary.inputNotFound ? ExitNotFound : ExitDone;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ombrel-scan"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OMBREL_VERSION));

    const CommandLine options;
    QCommandLineParser parser;
    parser.addOptions(options.all());
    if (!parser.parse(QCoreApplication::arguments())) {
        printError(parser.errorText());
        return ExitUsage;
    }
    if (parser.isSet(options.help)) {
        std::fputs(qPrintable(usageText(options.forHelp())), stdout);
        return ExitDone;
    }
    if (parser.isSet(options.version)) {
        std::printf("ombrel-scan %s\n", OMBREL_VERSION);
        return ExitDone;
    }
    if (parser.isSet(options.log))
        return printLog(parser.value(options.log), parser.value(options.cache), parser.value(options.scanner));
    return scanLibrary(parser, options);
}
