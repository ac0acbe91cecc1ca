#include "candidates.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#endif

namespace {

QString librarySuffix()
{
#if defined(Q_OS_WIN)
    return QStringLiteral(".dll");
#elif defined(Q_OS_MACOS)
    return QStringLiteral(".dylib");
#else
    return QStringLiteral(".so");
#endif
}

// What makes two paths the same file: device and inode where there are
// such, else the path with every link resolved.
QString fileIdentity(const QString &path)
{
#if defined(Q_OS_UNIX)
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        return QString::number(qulonglong(info.st_dev)) + QLatin1Char(':') + QString::number(qulonglong(info.st_ino));
#endif
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

QStringList libraryFilesBelow(const QString &folder)
{
    // Links to folders are not followed: they can form cycles. Links to
    // files are, and the identity check folds them into their target.
    QStringList files;
    QDirIterator it(folder, {QLatin1Char('*') + librarySuffix()}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

} // namespace

QStringList findCandidates(const QStringList &inputs)
{
    QStringList candidates;
    QSet<QString> seen;
    for (const QString &input : inputs) {
        const QFileInfo info(input);
        const QStringList files = info.isDir() ? libraryFilesBelow(input) : QStringList{input};
        for (const QString &file : files) {
            if (QFileInfo(file).isDir())
                continue;
            const QString identity = QFileInfo::exists(file) ? fileIdentity(file) : file;
            if (seen.contains(identity))
                continue;
            seen.insert(identity);
            candidates << file;
        }
    }
    return candidates;
}

QStringList defaultPluginFolders()
{
    const QString home = QDir::homePath();
    const QString fromEnvironment = qEnvironmentVariable("VST_PATH");
    const QStringList folders = !fromEnvironment.isEmpty()
        ? fromEnvironment.split(QDir::listSeparator(), Qt::SkipEmptyParts)
#if defined(Q_OS_WIN)
        : QStringList{QStringLiteral("C:/Program Files/VSTPlugins"),
                      QStringLiteral("C:/Program Files/Steinberg/VSTPlugins"),
                      QStringLiteral("C:/Program Files/Common Files/VST2")};
#elif defined(Q_OS_MACOS)
        : QStringList{home + QStringLiteral("/Library/Audio/Plug-Ins/VST"),
                      QStringLiteral("/Library/Audio/Plug-Ins/VST")};
#else
        : QStringList{home + QStringLiteral("/.vst"),      home + QStringLiteral("/.lxvst"),
                      QStringLiteral("/usr/lib/vst"),       QStringLiteral("/usr/lib/lxvst"),
                      QStringLiteral("/usr/local/lib/vst"), QStringLiteral("/usr/local/lib/lxvst")};
#endif
    // Folders that do not exist are simply not there to scan; they are not
    // missing plug-ins.
    QStringList existing;
    for (const QString &folder : folders) {
        if (QFileInfo(folder).isDir())
            existing << folder;
    }
    return existing;
}
