#include "bundle.h"

#include <QDir>
#include <QFileInfo>

QStringList vst3ArchitectureFolders()
{
#if defined(__x86_64__)
    return {QStringLiteral("x86_64-linux")};
#elif defined(__i386__)
    return {QStringLiteral("i386-linux"), QStringLiteral("i686-linux")};
#elif defined(__aarch64__)
    return {QStringLiteral("aarch64-linux"), QStringLiteral("armv8l-linux")};
#else
    return {};
#endif
}

QString vst3BinaryIn(const QString &bundle)
{
    const QFileInfo bundleInfo(bundle);
    // "Name.vst3" names "Name.so"; completeBaseName would cut at a dot in "Name".
    QString stem = bundleInfo.fileName();
    stem.chop(int(QFileInfo(stem).suffix().size()) + (stem.contains(QLatin1Char('.')) ? 1 : 0));
    for (const QString &architecture : vst3ArchitectureFolders()) {
        const QString folder = bundle + QLatin1String("/Contents/") + architecture;
        const QString named = folder + QLatin1Char('/') + stem + QLatin1String(".so");
        if (QFileInfo(named).isFile())
            return named;
        const QStringList libraries
            = QDir(folder).entryList({QStringLiteral("*.so")}, QDir::Files | QDir::Readable, QDir::Name);
        if (libraries.size() == 1)
            return folder + QLatin1Char('/') + libraries.first();
    }
    return QString();
}
