#include "launcher/cache/scancache.h"

#include "launcher/cache/atomicfile.h"
#include "launcher/core/systemerror.h"
#include "launcher/files/filestamp.h"

#include "contract/identity.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace ombrel {

namespace {

const int kFormatVersion = 2;
// Read still: its results stand, but for the ok ones, which lack the
// plug-ins' descriptions and are scanned again (ScanResult's fromJson).
const int kEarlierFormatVersion = 1;

// flock() for as long as it lives; does nothing on a file that is not open.
class JournalLock
{
public:
    JournalLock(int fd, int operation)
        : m_fd(fd)
    {
        if (m_fd >= 0) {
            while (::flock(m_fd, operation) != 0 && errno == EINTR) { }
        }
    }
    ~JournalLock()
    {
        if (m_fd >= 0)
            ::flock(m_fd, LOCK_UN);
    }
    JournalLock(const JournalLock &) = delete;
    JournalLock &operator=(const JournalLock &) = delete;

private:
    int m_fd;
};

QByteArray readAll(int fd)
{
    QByteArray data;
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            data.append(buffer, int(n));
        else if (n == 0 || errno != EINTR)
            return data;
    }
}

// A JSON string as it appears in a document, quotes included.
QByteArray jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

} // namespace

QString defaultCacheFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QLatin1Char('/')
        + storeOrganizationName() + QStringLiteral("/ombrel-scan-cache.json");
}

ScanCache::ScanCache(QString file, QString scannerIdentity)
    : m_file(std::move(file))
    , m_identity(std::move(scannerIdentity))
{
}

ScanCache::~ScanCache()
{
    if (m_journal >= 0)
        ::close(m_journal);
}

bool ScanCache::openJournal(QString *error)
{
    if (m_journal >= 0)
        return true;
    if (!QDir().mkpath(QFileInfo(m_file).absolutePath())) {
        *error = QStringLiteral("cannot create the folder of %1").arg(m_file);
        return false;
    }
    const QString journal = m_file + QStringLiteral(".journal");
    m_journal = ::open(QFile::encodeName(journal).constData(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (m_journal < 0) {
        *error = QStringLiteral("cannot write %1 (%2)").arg(journal, systemError(errno));
        return false;
    }
    return true;
}

bool ScanCache::readCache(QHash<QString, QJsonObject> *entries, QString *problem, bool *earlier) const
{
    entries->clear();
    QFile file(m_file);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("cannot read %1 (%2)").arg(m_file, file.errorString());
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    const QJsonObject root = document.object();
    const int version = root.value(QStringLiteral("version")).toInt();
    if (earlier)
        *earlier = version == kEarlierFormatVersion;
    if (error.error != QJsonParseError::NoError || !document.isObject()
        || (version != kFormatVersion && version != kEarlierFormatVersion)
        || !root.value(QStringLiteral("entries")).isObject()) {
        *problem = QStringLiteral("%1 is not a cache file of this version%2")
                       .arg(m_file,
                            error.error != QJsonParseError::NoError
                                ? QStringLiteral(" (") + error.errorString() + QLatin1Char(')')
                                : QString());
        return false;
    }
    const QJsonObject stored = root.value(QStringLiteral("entries")).toObject();
    entries->reserve(int(stored.size()));
    for (auto it = stored.constBegin(); it != stored.constEnd(); ++it)
        entries->insert(it.key(), it.value().toObject());
    return true;
}

void ScanCache::replayJournal(const QByteArray &journal, QHash<QString, QJsonObject> *entries) const
{
    // Each record starts on a line of its own, so one cut short by a kill
    // spoils no other; it does not parse and is skipped.
    for (const QByteArray &line : journal.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        const QString path = record.value(QStringLiteral("path")).toString();
        if (path.isEmpty())
            continue;
        const QJsonValue entry = record.value(QStringLiteral("entry"));
        if (entry.isObject())
            entries->insert(path, entry.toObject());
        else
            entries->remove(path);
    }
}

void ScanCache::load(QString *warning)
{
    QString problem;
    openJournal(&problem); // a cache that cannot be written is still read
    QByteArray journal;
    {
        JournalLock lock(m_journal, LOCK_SH);
        bool earlier = false;
        if (!readCache(&m_entries, &problem, &earlier))
            *warning = problem + QStringLiteral("; rebuilding it");
        else if (earlier)
            *warning = QStringLiteral("%1 was written by an earlier version, which recorded no plug-in IDs: "
                                      "the plug-ins it names are scanned again once")
                           .arg(m_file);
        journal = m_journal >= 0 ? readAll(m_journal) : QByteArray();
    }
    replayJournal(journal, &m_entries);
}

bool ScanCache::save(QString *error)
{
    if (!openJournal(error))
        return false;
    JournalLock lock(m_journal, LOCK_EX);

    // What other runs saved meanwhile, then this run's results the journal
    // could not take. A cache file that became unreadable is rebuilt from
    // what this run has.
    QHash<QString, QJsonObject> merged;
    QString problem;
    if (!readCache(&merged, &problem, nullptr))
        merged = std::move(m_entries);
    m_entries.clear(); // merged has it all now; one copy is enough
    replayJournal(readAll(m_journal), &merged);
    for (auto it = m_unjournaled.constBegin(); it != m_unjournaled.constEnd(); ++it) {
        if (it.value().isEmpty())
            merged.remove(it.key());
        else
            merged.insert(it.key(), it.value());
    }

    m_entries = std::move(merged);
    QStringList paths = m_entries.keys();
    std::sort(paths.begin(), paths.end());
    QByteArray contents = "{\"version\":" + QByteArray::number(kFormatVersion) + ",\"entries\":{";
    for (int i = 0; i < paths.size(); ++i) {
        if (i > 0)
            contents += ',';
        contents += jsonString(paths.at(i)) + ':'
            + QJsonDocument(m_entries.value(paths.at(i))).toJson(QJsonDocument::Compact);
    }
    contents += "}}\n";
    QString reason;
    if (!replaceFileContents(m_file, contents, &reason)) {
        *error = QStringLiteral("cannot write %1 (%2); it is left as it was").arg(m_file, reason);
        return false;
    }
    // Everything in the journal is in the file now. Left in it, it would
    // only be read again.
    [[maybe_unused]] const int truncated = ::ftruncate(m_journal, 0);
    m_unjournaled.clear();
    return true;
}

bool ScanCache::lookupCurrent(const QString &path, const QString &format, ScanResult *result) const
{
    const auto it = m_entries.constFind(resultKey(path, format));
    if (it == m_entries.constEnd())
        return false;
    const QJsonObject &entry = it.value();
    const QString stamp = fileStamp(path);
    if (stamp.isEmpty() || entry.value(QStringLiteral("stamp")).toString() != stamp
        || entry.value(QStringLiteral("scanner")).toString() != m_identity)
        return false;
    ScanResult cached;
    if (!fromJson(entry.value(QStringLiteral("result")).toObject(), &cached) || cached.path != path
        || cached.format != format)
        return false;
    cached.cached = true;
    *result = cached;
    return true;
}

bool ScanCache::insert(const ScanResult &result, const QString &stamp, QString *error)
{
    if (!result.failure.isEmpty())
        return true;
    QJsonObject entry;
    if (result.outcome != ScanOutcome::Missing && !stamp.isEmpty()) {
        entry = QJsonObject{{QStringLiteral("stamp"), stamp},
                            {QStringLiteral("scanner"), m_identity},
                            {QStringLiteral("result"), toJson(result)}};
    }
    const QString key = resultKey(result);
    if (entry.isEmpty())
        m_entries.remove(key);
    else
        m_entries.insert(key, entry);

    // "path" holds the key, as the journal always called it.
    QJsonObject record{{QStringLiteral("path"), key}};
    if (!entry.isEmpty())
        record.insert(QStringLiteral("entry"), entry);
    const QByteArray line = '\n' + QJsonDocument(record).toJson(QJsonDocument::Compact);
    QString problem;
    if (openJournal(&problem)) {
        JournalLock lock(m_journal, LOCK_SH);
        ssize_t written = -1;
        do {
            written = ::write(m_journal, line.constData(), size_t(line.size()));
        } while (written < 0 && errno == EINTR);
        if (written == ssize_t(line.size()))
            return true;
        problem = QStringLiteral("cannot write %1.journal (%2)")
                      .arg(m_file, written < 0 ? systemError(errno) : QStringLiteral("the disk is full"));
    }
    m_unjournaled.insert(key, entry);
    *error = problem;
    return false;
}

QList<ScanResult> ScanCache::lookupRecorded(const QString &path) const
{
    // Spelled as recorded first; only then by what the spelling reaches,
    // which costs a look at every entry's file.
    const auto matching = [this](const auto &matches) {
        QList<ScanResult> found;
        for (auto it = m_entries.constBegin(); it != m_entries.constEnd(); ++it) {
            const QJsonObject stored = it.value().value(QStringLiteral("result")).toObject();
            ScanResult result;
            if (matches(stored.value(QStringLiteral("path")).toString()) && fromJson(stored, &result))
                found << result;
        }
        std::sort(found.begin(), found.end(), [](const ScanResult &a, const ScanResult &b) {
            return (a.format == QLatin1String("vst2")) != (b.format == QLatin1String("vst2"))
                ? a.format == QLatin1String("vst2")
                : a.format < b.format;
        });
        return found;
    };
    const QList<ScanResult> exact = matching([&path](const QString &recorded) { return recorded == path; });
    if (!exact.isEmpty())
        return exact;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    return matching([&](const QString &recorded) {
        const QFileInfo entry(recorded);
        return entry.absoluteFilePath() == absolute || (!canonical.isEmpty() && entry.canonicalFilePath() == canonical);
    });
}

} // namespace ombrel
