#include "launcher/library/libraryscan.h"

#include "launcher/cache/scancache.h"
#include "launcher/files/candidates.h"
#include "launcher/files/elfexports.h"
#include "launcher/files/formats.h"
#include "launcher/files/filestamp.h"
#include "launcher/files/scannerset.h"
#include "launcher/report/terminaltext.h"
#include "launcher/run/processslot.h"
#include "launcher/run/scanrunner.h"
#include "launcher/run/serverslot.h"

#include <QDateTime>
#include <QDir>
#include <QSet>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QMutexLocker>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <memory>

namespace ombrel {

namespace {

// The plug-in files of the inputs, with every problem told as it is found.
// False when a folder given cannot be read: the user named it, so nothing
// is scanned.
bool collectCandidates(const QStringList &given, const QStringList &formats, LibraryScanEvents *events,
                       QList<Candidate> *candidates, CandidateProblems *problems, bool *inputNotFound)
{
    // A mistyped path is the user's error, not a missing plug-in: it is
    // named, not scanned.
    QStringList inputs;
    for (const QString &input : given) {
        if (!QFileInfo::exists(input) && !QFileInfo(input).isSymLink()) {
            events->problem(LibraryProblem::InputNotFound,
                            QStringLiteral("%1: no such file or folder").arg(escapedForTerminal(input)));
            *inputNotFound = true;
            continue;
        }
        inputs << input;
    }
    const QStringList paths = findCandidates(given.isEmpty() ? defaultPluginFolders(formats) : inputs, problems);
    *candidates = candidatesOf(paths, formats, inputs);
    bool givenUnreadable = false;
    for (const CandidateProblems::Folder &folder : problems->unreadableFolders) {
        events->problem(
            LibraryProblem::UnreadableFolder,
            QStringLiteral("cannot read folder %1 (%2)").arg(escapedForTerminal(folder.path), folder.reason));
        givenUnreadable = givenUnreadable || (folder.given && !inputs.isEmpty());
    }
    if (givenUnreadable)
        return false;
    for (const QString &input : inputs) {
        // Walked again only when no candidate came from it under its name
        // (a file reached twice is listed once, maybe under another input).
        const auto fromIt = [&input](const Candidate &candidate) { return candidate.path.startsWith(input); };
        if (QFileInfo(input).isDir() && std::none_of(candidates->begin(), candidates->end(), fromIt)
            && findCandidates({input}).isEmpty())
            events->problem(LibraryProblem::NoPluginFiles,
                            QStringLiteral("%1: no plug-in file in this folder").arg(escapedForTerminal(input)));
    }
    return true;
}

// A run's results and what it still has to scan.
struct Plan
{
    QMap<QString, ScanResult> known; // by resultKey()
    QList<ScanRequest> requests;
};

// What the cache still holds stays; everything else is scanned, with its
// stamp taken now: a file changed while it is scanned must not get the
// old file's result under its new stamp.
QList<Candidate> selectFromCache(const QList<Candidate> &candidates, const CandidateProblems &problems,
                                 const ScanCache &cache, const LibraryScanOptions &options, Plan *plan)
{
    QList<Candidate> toScan;
    for (const Candidate &candidate : candidates) {
        const QString key = resultKey(candidate.path, candidate.format);
        if (problems.badNames.contains(candidate.path)) {
            ScanResult named;
            named.path = candidate.path;
            named.format = candidate.format;
            named.outcome = ScanOutcome::NonUtf8Name;
            plan->known.insert(key, named);
            continue;
        }
        ScanResult cached;
        const bool usable = !options.rescan && cache.lookupCurrent(candidate.path, candidate.format, &cached)
            && !(options.retryFailed
                 && (cached.outcome == ScanOutcome::Crashed || cached.outcome == ScanOutcome::TimedOut
                     || cached.outcome == ScanOutcome::MemoryLimit));
        if (usable)
            plan->known.insert(key, cached);
        else
            toScan << candidate;
    }
    return toScan;
}

// The folders a sandboxed scan may read: each plug-in's, as given and
// where its links lead, the scanners', and the user's extras.
QStringList readableFolders(const QList<ScanRequest> &requests, const LibraryScanOptions &options)
{
    QSet<QString> folders;
    for (const ScanRequest &request : requests) {
        const QFileInfo file(request.path);
        folders << file.absolutePath() << QFileInfo(request.scanner).absolutePath();
        const QString target = file.canonicalFilePath();
        if (!target.isEmpty())
            folders << QFileInfo(target).absolutePath();
    }
    QStringList list(folders.begin(), folders.end());
    return list << options.readOnlyPaths;
}

// Where the scans run: a scan server per slot in a sandbox where one can be
// had; else, as the mode allows, a server without one, or a scanner
// process per plug-in where no server is installed. Null, with *summary
// saying why, when a sandbox is required and none can be had.
std::unique_ptr<ScanSlotFactory> makeSlots(const LibraryScanOptions &options, const ScannerSet &scanners,
                                           const QList<ScanRequest> &requests, LibraryScanEvents *events,
                                           LibraryScanSummary *summary)
{
    SandboxCheck check;
    if (scanners.server.isEmpty())
        check.problem = QStringLiteral("no scan server (ombrel-scan-server) is installed beside ombrel-scan");
    else if (options.sandbox == SandboxMode::Off)
        check.problem = QStringLiteral("the sandbox is turned off");
    else
        check = checkSandbox();
    if (!check.available && options.sandbox == SandboxMode::Require) {
        summary->status = LibraryScanStatus::NoSandbox;
        summary->error = QStringLiteral("no sandbox can be had: %1").arg(check.problem);
        return nullptr;
    }
    if (scanners.server.isEmpty()) {
        summary->protection = QStringLiteral("none");
        summary->protectionNote = check.problem;
        events->problem(LibraryProblem::NoSandbox,
                        QStringLiteral("no sandbox: %1; plug-ins run with the user's rights").arg(check.problem));
        return std::make_unique<ProcessSlotFactory>();
    }
    ServerSlotSettings settings;
    settings.server = scanners.server;
    settings.memoryLimit = options.memoryLimitBytes;
    settings.sandboxed = check.available;
    settings.protection = check.available ? QStringLiteral("sandbox") : QStringLiteral("limits");
    if (check.available) {
        settings.sandbox.bubblewrap = check.bubblewrap;
        settings.sandbox.server = scanners.server;
        settings.sandbox.readOnly = readableFolders(requests, options);
        settings.sandbox.workingFolder = QDir::currentPath();
    } else if (options.sandbox == SandboxMode::Auto) {
        events->problem(LibraryProblem::NoSandbox,
                        QStringLiteral("no sandbox: %1; scans run with the memory limit and a system call filter, "
                                       "and their processes end with them, but plug-ins can reach the user's files "
                                       "and network (--sandbox=require makes this an error)")
                            .arg(check.problem));
    }
    summary->protection = settings.protection;
    summary->protectionNote = check.problem;
    return std::make_unique<ServerSlotFactory>(settings);
}

class Recorder
{
public:
    Recorder(ScanCache &cache, LibraryScanEvents *events)
        : m_cache(cache)
        , m_events(events)
    {
    }

    // The results are in the cache once it is saved; until then, a failed
    // append only cost them their safety from a kill. Told once.
    void record(const ScanResult &result, const QString &stamp)
    {
        QString message;
        if (!m_cache.insert(result, stamp, &message) && !m_told) {
            m_told = true;
            m_events->problem(LibraryProblem::JournalNotWritten, message);
        }
    }

private:
    ScanCache &m_cache;
    LibraryScanEvents *m_events;
    bool m_told = false;
};

// What is known without scanning (recorded at once) and what to scan.
Plan planScans(const QList<Candidate> &candidates, const CandidateProblems &problems, const ScanCache &cache,
               const ScannerSet &scanners, const LibraryScanOptions &options, Recorder *recorder)
{
    Plan plan;
    const QList<Candidate> toScan = selectFromCache(candidates, problems, cache, options, &plan);
    QHash<QString, QString> stamps;
    QStringList paths;
    for (const Candidate &candidate : toScan) {
        if (!stamps.contains(candidate.path)) {
            stamps.insert(candidate.path, fileStamp(candidate.path));
            paths << candidate.path;
        }
    }
    // No scanner is started for a file that none of them can load.
    QList<ScanResult> unstarted;
    const QHash<QString, QString> scannerOf = assignScanners(scanners, &paths, &unstarted);
    QHash<QString, ScanResult> unstartedByPath;
    for (const ScanResult &result : unstarted)
        unstartedByPath.insert(result.path, result);
    for (const Candidate &candidate : toScan) {
        if (unstartedByPath.contains(candidate.path)) {
            ScanResult result = unstartedByPath.value(candidate.path);
            result.format = candidate.format;
            result.scannedAt = QDateTime::currentDateTimeUtc();
            plan.known.insert(resultKey(result), result);
            recorder->record(result, stamps.value(result.path));
        } else {
            plan.requests << ScanRequest{candidate.path, scannerOf.value(candidate.path), stamps.value(candidate.path),
                                         options.timeLimitMs, candidate.format};
        }
    }
    return plan;
}

// The results known for `keys`, in their order.
QList<ScanResult> inOrder(const QStringList &keys, const QMap<QString, ScanResult> &known)
{
    QList<ScanResult> results;
    for (const QString &key : keys) {
        if (known.contains(key))
            results << known.value(key);
    }
    return results;
}

// A scan's result, kept, recorded and told as it arrives.
void takeScanned(const ScanRequest &request, ScanResult result, Plan *plan, Recorder *recorder,
                 LibraryScanEvents *events)
{
    // The scanner says only that it found none; the file may say why.
    if (result.outcome == ScanOutcome::NotAPlugin && result.cause.isEmpty() && result.format == QLatin1String("vst2"))
        result.cause = notAPluginCause(result.path);
    plan->known.insert(resultKey(result), result);
    recorder->record(result, request.stamp);
    events->result(result, true);
}

// What the next run will not scan again.
qsizetype countInCache(const QList<Candidate> &candidates, const ScanCache &cache)
{
    return std::count_if(candidates.begin(), candidates.end(), [&cache](const Candidate &candidate) {
        ScanResult cached;
        return cache.lookupCurrent(candidate.path, candidate.format, &cached);
    });
}

} // namespace

QStringList scannableFormats()
{
    QStringList names;
    for (const PluginFormat &format : pluginFormats())
        names << format.name;
    return names;
}

QString sandboxOnThisMachine()
{
    const SandboxCheck check = checkSandbox();
    return check.available ? QStringLiteral("a sandbox") : QStringLiteral("no sandbox (%1)").arg(check.problem);
}

LibraryScan::LibraryScan(LibraryScanOptions options, LibraryScanEvents *events, ScanSlotFactory *slots)
    : m_options(std::move(options))
    , m_events(events)
    , m_slots(slots)
{
}

LibraryScan::~LibraryScan() = default;

void LibraryScan::cancel()
{
    QMutexLocker lock(&m_mutex);
    m_cancelRequested = true;
    if (!m_context)
        return;
    if (m_context->thread() != QThread::currentThread()) {
        QMetaObject::invokeMethod(
            m_context, [this] { cancelOnRunThread(); }, Qt::QueuedConnection);
        return;
    }
    lock.unlock();
    cancelOnRunThread();
}

void LibraryScan::cancelOnRunThread()
{
    if (m_runner)
        m_runner->cancel();
}

LibraryScanSummary LibraryScan::run()
{
    LibraryScanSummary summary;
    QObject context; // where cancel() from another thread is carried out
    {
        QMutexLocker lock(&m_mutex);
        m_context = &context;
    }
    const auto done = [this, &summary](LibraryScanStatus status, const QString &error = QString()) {
        QMutexLocker lock(&m_mutex);
        m_context = nullptr;
        summary.status = status;
        summary.error = error;
        return summary;
    };

    const ScannerSet scanners = findScanners(m_options.scanner, m_options.layoutBase);
    summary.scanner = scanners.native.path;
    if (summary.scanner.isEmpty())
        return done(LibraryScanStatus::NoScanner, QStringLiteral("no scanner found; name it with --scanner"));

    ScanCache cache(m_options.cacheFile.isEmpty() ? defaultCacheFile() : m_options.cacheFile,
                    scannerSetIdentity(scanners));
    QString message;
    cache.load(&message);
    if (!message.isEmpty())
        m_events->problem(LibraryProblem::CacheUnreadable, message);
    // Find out now, not after an hour of scanning, that the cache is unusable.
    if (!cache.save(&message))
        return done(LibraryScanStatus::CacheNotWritten, message);

    QList<Candidate> candidates;
    CandidateProblems problems;
    const QStringList formats = m_options.formats.isEmpty() ? scannableFormats() : m_options.formats;
    if (!collectCandidates(m_options.inputs, formats, m_events, &candidates, &problems, &summary.inputNotFound))
        return done(LibraryScanStatus::UnreadableInput);
    summary.candidates = candidates.size();

    Recorder recorder(cache, m_events);
    Plan plan = planScans(candidates, problems, cache, scanners, m_options, &recorder);
    std::unique_ptr<ScanSlotFactory> ownSlots;
    if (!m_slots) {
        ownSlots = makeSlots(m_options, scanners, plan.requests, m_events, &summary);
        if (!ownSlots)
            return done(summary.status, summary.error);
    }
    QStringList keys;
    for (const Candidate &candidate : candidates)
        keys << resultKey(candidate.path, candidate.format);
    for (const ScanResult &result : inOrder(keys, plan.known))
        m_events->result(result, false);
    ScanRunner runner(m_slots ? *m_slots : *ownSlots, m_options.jobs);
    {
        QMutexLocker lock(&m_mutex);
        m_runner = &runner;
    }
    m_events->scansPlanned(int(plan.requests.size()));
    if (!cancelRequested()) {
        runner.run(
            plan.requests,
            [&](const ScanRequest &request, const ScanResult &result) {
                takeScanned(request, result, &plan, &recorder, m_events);
            },
            [this](const ScanRequest &request) { m_events->scanStarted(request.path); });
    }
    {
        QMutexLocker lock(&m_mutex);
        m_runner = nullptr;
    }
    const bool interrupted = cancelRequested() || runner.wasCancelled();

    if (!cache.save(&message))
        return done(LibraryScanStatus::CacheNotWritten, message);
    summary.results = inOrder(keys, plan.known);
    // Entries from this run and, under --rescan, earlier ones that still stand.
    if (interrupted)
        summary.inCache = countInCache(candidates, cache);
    return done(interrupted ? LibraryScanStatus::Interrupted : LibraryScanStatus::Completed);
}

} // namespace ombrel
