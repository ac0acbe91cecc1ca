#include "filedescription.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// A scan's description is a few kilobytes per plug-in; a file far past
// what ten thousand plug-ins take is not one of ours.
constexpr qint64 kMaxDescriptionBytes = 64 * 1024 * 1024;

} // namespace

QByteArray fileDescriptionToBytes(const FileDescription &description)
{
    QJsonObject object{{QStringLiteral("plugins"), descriptionsToJson(description.plugins)}};
    if (!description.cause.isEmpty())
        object.insert(QStringLiteral("cause"), description.cause);
    if (!description.note.isEmpty())
        object.insert(QStringLiteral("note"), description.note);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool fileDescriptionFromBytes(const QByteArray &bytes, FileDescription *description)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject() || !document.object().value(QStringLiteral("plugins")).isArray())
        return false;
    const QJsonObject object = document.object();
    description->plugins = descriptionsFromJson(object.value(QStringLiteral("plugins")).toArray());
    description->cause = object.value(QStringLiteral("cause")).toString();
    description->note = object.value(QStringLiteral("note")).toString();
    return true;
}

bool writeFileDescription(const QString &file, const FileDescription &description)
{
    // Read only once the scan has ended, and a file cut short does not
    // parse: no rename or sync to pay for on every scan.
    QFile out(file);
    const QByteArray bytes = fileDescriptionToBytes(description);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(bytes) == bytes.size() && out.flush();
}

bool readFileDescription(const QString &file, FileDescription *description)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly) || in.size() > kMaxDescriptionBytes)
        return false;
    return fileDescriptionFromBytes(in.read(kMaxDescriptionBytes), description);
}
