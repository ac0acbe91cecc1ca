#include "candidates.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
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
    QStringList files;
    for (const QString &input : inputs)
        files << (QFileInfo(input).isDir() ? libraryFilesBelow(input) : QStringList{input});

    // Of the paths that reach one file, keep the first that is no link:
    // links come and go, the file's own path stays.
    QHash<QString, QString> chosen;
    for (const QString &file : files) {
        const QString identity = QFileInfo::exists(file) ? fileIdentity(file) : file;
        const auto it = chosen.constFind(identity);
        if (it == chosen.constEnd() || (QFileInfo(*it).isSymLink() && !QFileInfo(file).isSymLink()))
            chosen.insert(identity, file);
    }
    QStringList candidates;
    QSet<QString> listed;
    for (const QString &file : files) {
        const QString identity = QFileInfo::exists(file) ? fileIdentity(file) : file;
        if (chosen.value(identity) == file && !listed.contains(identity)) {
            listed.insert(identity);
            candidates << file;
        }
    }
    return candidates;
}

QStringList usualPluginFolders()
{
    const QString home = QDir::homePath();
#if defined(Q_OS_WIN)
    return QStringList{QStringLiteral("C:/Program Files/VSTPlugins"),
                       QStringLiteral("C:/Program Files/Steinberg/VSTPlugins"),
                       QStringLiteral("C:/Program Files/Common Files/VST2")};
#elif defined(Q_OS_MACOS)
    return QStringList{home + QStringLiteral("/Library/Audio/Plug-Ins/VST"),
                       QStringLiteral("/Library/Audio/Plug-Ins/VST")};
#else
    return QStringList{home + QStringLiteral("/.vst"),      home + QStringLiteral("/.lxvst"),
                       QStringLiteral("/usr/lib/vst"),       QStringLiteral("/usr/lib/lxvst"),
                       QStringLiteral("/usr/local/lib/vst"), QStringLiteral("/usr/local/lib/lxvst")};
#endif
}

QStringList defaultPluginFolders()
{
    const QString fromEnvironment = qEnvironmentVariable("VST_PATH");
    const QStringList folders = !fromEnvironment.isEmpty()
        ? fromEnvironment.split(QDir::listSeparator(), Qt::SkipEmptyParts)
        : usualPluginFolders();
    // Folders that do not exist are simply not there to scan; they are not
    // missing plug-ins.
    QStringList existing;
    for (const QString &folder : folders) {
        if (QFileInfo(folder).isDir())
            existing << folder;
    }
    return existing;
}
