#include "scancache.h"

#include "contract/identity.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const int kFormatVersion = 1;

// Size and modification time, the two things that change when a plug-in
// is rebuilt, upgraded or touched.
QString fileStamp(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    return QString::number(info.size()) + QLatin1Char(':')
        + QString::number(info.lastModified().toMSecsSinceEpoch());
}

} // namespace

QString scannerIdentity(const QString &scannerPath)
{
    return fileStamp(scannerPath);
}

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

void ScanCache::load(QString *warning)
{
    m_entries = QJsonObject();
    QFile file(m_file);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        *warning = QStringLiteral("cannot read %1 (%2); starting with an empty cache").arg(m_file, file.errorString());
        return;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    const QJsonObject root = document.object();
    if (error.error != QJsonParseError::NoError || !document.isObject()
        || root.value(QStringLiteral("version")).toInt() != kFormatVersion
        || !root.value(QStringLiteral("entries")).isObject()) {
        *warning = QStringLiteral("%1 is not a cache file of this version%2; rebuilding it")
                       .arg(m_file, error.error != QJsonParseError::NoError
                                        ? QStringLiteral(" (") + error.errorString() + QLatin1Char(')')
                                        : QString());
        return;
    }
    m_entries = root.value(QStringLiteral("entries")).toObject();
}

bool ScanCache::save(QString *error) const
{
    if (!QDir().mkpath(QFileInfo(m_file).absolutePath())) {
        *error = QStringLiteral("cannot create the folder of %1").arg(m_file);
        return false;
    }
    QSaveFile file(m_file);
    const QJsonObject root{{QStringLiteral("version"), kFormatVersion}, {QStringLiteral("entries"), m_entries}};
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson(QJsonDocument::Compact)) < 0
        || !file.commit()) {
        *error = QStringLiteral("cannot write %1 (%2)").arg(m_file, file.errorString());
        return false;
    }
    return true;
}

bool ScanCache::lookup(const QString &path, ScanResult *result) const
{
    const QJsonObject entry = m_entries.value(path).toObject();
    const QString stamp = fileStamp(path);
    if (entry.isEmpty() || stamp.isEmpty() || entry.value(QStringLiteral("stamp")).toString() != stamp
        || entry.value(QStringLiteral("scanner")).toString() != m_identity)
        return false;
    ScanResult cached;
    if (!fromJson(entry.value(QStringLiteral("result")).toObject(), &cached) || cached.path != path)
        return false;
    cached.cached = true;
    *result = cached;
    return true;
}

void ScanCache::insert(const ScanResult &result)
{
    const QString stamp = fileStamp(result.path);
    if (result.outcome == ScanOutcome::Missing || stamp.isEmpty()) {
        m_entries.remove(result.path);
        return;
    }
    m_entries.insert(result.path, QJsonObject{{QStringLiteral("stamp"), stamp},
                                              {QStringLiteral("scanner"), m_identity},
                                              {QStringLiteral("result"), toJson(result)}});
}

bool ScanCache::find(const QString &path, ScanResult *result) const
{
    QString key = path;
    if (!m_entries.contains(key)) {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        const QString absolute = QFileInfo(path).absoluteFilePath();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            const QFileInfo entry(it.key());
            if (entry.absoluteFilePath() == absolute || (!canonical.isEmpty() && entry.canonicalFilePath() == canonical)) {
                key = it.key();
                break;
            }
        }
    }
    return fromJson(m_entries.value(key).toObject().value(QStringLiteral("result")).toObject(), result);
}
