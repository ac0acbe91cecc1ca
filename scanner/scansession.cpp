#include "scansession.h"

#include "pluginexitguard.h"
#include "pluginscanner.h"

#include "contract/filedescription.h"
#include "contract/lines.h"
#include "contract/outcome.h"
#include "probe/describers.h"
#include "probe/vst2details.h"
#include "store/resultstore.h"

#include <QDebug>
#include <QFileInfo>

namespace {

// A file of another format: no store, the same lines, and the description
// (or why there is none) for the launching side.
int describeFormat(const QString &path, const DescribeRequest &describe)
{
    qDebug().noquote() << QStringLiteral("scanning plugin") << quoted(path);
    FileDescription description;
    int result = OutcomeNoName;
    if (!QFileInfo::exists(path)) {
        result = OutcomeNotFound;
    } else if (const FormatDescriber describer = describerFor(describe.format)) {
        // An exit() in here is the plug-in's, never the scanner's outcome.
        const PluginExitGuard guard;
        result = describer(path, &description);
    } else {
        description.cause = QStringLiteral("this scanner does not read %1 plug-ins").arg(describe.format);
    }
    if (result != OutcomeNotFound && !writeFileDescription(describe.file, description)) {
        qDebug().noquote() << QStringLiteral("cannot write the description to") << quoted(describe.file);
        result = OutcomeError;
    }
    qDebug().noquote() << quoted(statusText(result));
    return result;
}

} // namespace

int scanIntoStore(const QStringList &arguments, const QString &storeFile, const DescribeRequest &describe)
{
    if (!describe.file.isEmpty() && !describe.isVst2() && arguments.size() >= 2)
        return describeFormat(arguments.at(1), describe);
    // Emptied whether or not a path was given, but written out at once
    // only when the previous file holds that path's group; otherwise by the
    // scan's own flush or when the store closes, so that a plug-in that
    // crashes the process leaves the previous run's file untouched.
    ResultStore store(storeFile);
    store.empty(arguments.value(1));
    if (arguments.size() < 2) {
        qDebug().noquote() << QStringLiteral("no plugin file given to helper process");
        return OutcomeNoPluginGiven;
    }
    const QString &path = arguments.at(1);
    qDebug().noquote() << QStringLiteral("scanning plugin") << quoted(path);
    Vst2Details details;
    PluginInfo named;
    const bool describing = !describe.file.isEmpty();
    const int result = PluginScanner().scanPlugin(path, store, describing ? &details : nullptr, &named);
    // A description that cannot be written leaves the store's record,
    // which the launching side reads instead: the helper's outcome stands.
    if (describing && result == OutcomeOk)
        writeFileDescription(describe.file, FileDescription{{describeVst2(named, details)}, QString(), QString()});
    qDebug().noquote() << quoted(statusText(result));
    return result;
}
