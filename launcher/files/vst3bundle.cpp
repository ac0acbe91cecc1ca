#include "vst3bundle.h"

#include <QDir>
#include <QFileInfo>

namespace ombrel {

namespace {

QStringList binaries(const QString &bundle)
{
    QStringList files;
    const QDir contents(bundle + QLatin1String("/Contents"));
    const QStringList folders
        = contents.entryList({QStringLiteral("*-linux")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &folder : folders) {
        const QDir architecture(contents.filePath(folder));
        for (const QString &file : architecture.entryList({QStringLiteral("*.so")}, QDir::Files, QDir::Name))
            files << architecture.filePath(file);
    }
    return files;
}

} // namespace

BinaryFormat vst3BundleFormat(const QString &bundle)
{
    BinaryFormat bundleFormat;
    bundleFormat.container = Container::Unreadable;
    for (const QString &binary : binaries(bundle)) {
        const BinaryFormat format = readBinaryFormat(binary);
        if (format.container != Container::Elf)
            continue;
        bundleFormat.container = Container::Elf;
        for (const Architecture &architecture : format.architectures) {
            if (!bundleFormat.architectures.contains(architecture))
                bundleFormat.architectures << architecture;
        }
    }
    return bundleFormat;
}

QStringList vst3ScannedFiles(const QString &bundle)
{
    QStringList files = binaries(bundle);
    for (const char *place : {"/Contents/Resources/moduleinfo.json", "/Contents/moduleinfo.json"}) {
        if (QFileInfo::exists(bundle + QLatin1String(place)))
            files << bundle + QLatin1String(place);
    }
    return files;
}

} // namespace ombrel
