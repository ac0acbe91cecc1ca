#include "launcher/run/scanverdict.h"

#include "contract/lines.h"
#include "contract/outcome.h"
#include "contract/storerecord.h"

namespace ombrel {

namespace {

bool isVst2(const ScanRequest &request)
{
    return request.format == QLatin1String("vst2");
}

ScanOutcome exitedOutcome(const ScanRequest &request, const ProcessEnd &end, QString *failure)
{
    switch (end.exitCode) {
    case OutcomeOk:
        // A VST 2 scan is the helper's: its record is what counts. Other
        // formats keep no store, only their description.
        if (isVst2(request) ? !end.record.name.isEmpty() : end.described)
            return ScanOutcome::Ok;
        // The scanner said it wrote the record: not finding it is our
        // side's failure (out of file descriptors, say), not the plug-in's.
        // Without that last line, the plug-in ended the process itself.
        if (end.output.lastLine() == quoted(statusText(OutcomeOk)).toUtf8())
            *failure = QStringLiteral("the scanner's result could not be read");
        return ScanOutcome::Failed;
    case OutcomeNotFound:
        return ScanOutcome::Missing;
    case OutcomeNoName:
        // The ban line comes before any of the plug-in's code runs.
        return QString::fromUtf8(end.output.head()).contains(banLineText()) ? ScanOutcome::Banned
                                                                            : ScanOutcome::NotAPlugin;
    default:
        return ScanOutcome::Failed;
    }
}

} // namespace

ScanResult scanVerdict(const ScanRequest &request, const ProcessEnd &end)
{
    ScanResult result;
    result.path = request.path;
    result.format = request.format;
    result.milliseconds = end.milliseconds;
    result.scannedAt = end.endedAt;
    result.scanner = end.scanner;
    result.protection = end.protection;
    switch (end.ending) {
    case ProcessEnd::Ending::NotStarted:
        result.outcome = ScanOutcome::Failed;
        result.failure = end.failure;
        break;
    case ProcessEnd::Ending::TimedOut:
        result.outcome = ScanOutcome::TimedOut;
        break;
    case ProcessEnd::Ending::Crashed:
        result.outcome = ScanOutcome::Crashed;
        result.signal = end.signal;
        break;
    case ProcessEnd::Ending::Exited:
        result.exitCode = end.exitCode;
        result.outcome = exitedOutcome(request, end, &result.failure);
        if (result.outcome == ScanOutcome::Ok) {
            const bool asked = end.described && !end.description.plugins.isEmpty();
            result.descriptions = asked || !isVst2(request) ? end.description.plugins
                                                            : QList<PluginDescription>{describeRecord(end.record)};
            result.note = end.description.note;
        }
        if (result.outcome == ScanOutcome::NotAPlugin)
            result.cause = end.description.cause;
        break;
    }
    // Whatever way it ended, an end at the memory limit says so.
    if (end.memoryLimitHit && result.outcome != ScanOutcome::Ok && end.ending != ProcessEnd::Ending::TimedOut) {
        result.outcome = ScanOutcome::MemoryLimit;
        result.signal = 0;
    }
    if (result.outcome != ScanOutcome::Ok)
        result.lines = keptLines(end.output.head() + end.output.tail());
    return result;
}

} // namespace ombrel
