#include "launcher/files/candidates.h"

#include "launcher/core/systemerror.h"
#include "launcher/files/formats.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPair>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace ombrel {

namespace {

// A file that some format's plug-ins end with.
bool isPluginFileName(const QByteArray &name)
{
    for (const PluginFormat &format : pluginFormats()) {
        if (!format.bundle && name.endsWith(QFile::encodeName(format.suffix)))
            return true;
    }
    return false;
}

// What makes two paths the same file: device and inode where there are
// such, else the path with every link resolved.
QString fileIdentity(const QString &path)
{
#if defined(Q_OS_UNIX)
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        return QString::number(qulonglong(info.st_dev)) + QLatin1Char(':') + QString::number(qulonglong(info.st_ino));
#endif
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

// Walks folders for library files, each real folder once.
class FolderWalk
{
public:
    explicit FolderWalk(CandidateProblems *problems)
        : m_problems(problems)
    {
    }

    // The files below each folder, its linked folders included, sorted.
    // Every folder reachable without a link is walked before any reached
    // through one, whichever input reaches it, so that a folder both given
    // and linked from another input is listed under its own path.
    QList<QStringList> filesBelow(const QStringList &folders)
    {
        m_files = QList<QStringList>();
        for (int i = 0; i < folders.size(); ++i) {
            m_files.append(QStringList());
            const QByteArray folder = QFile::encodeName(folders.at(i));
            struct stat link = {};
            if (::lstat(folder.constData(), &link) == 0 && S_ISLNK(link.st_mode))
                m_linked.append({folder, i, true});
            else
                walk(folder, i, true);
        }
        while (!m_linked.isEmpty()) {
            const Linked linked = m_linked.takeFirst();
            walk(linked.path, linked.input, linked.given);
        }
        for (QStringList &files : m_files)
            std::sort(files.begin(), files.end());
        return m_files;
    }

private:
    struct Linked
    {
        QByteArray path;
        int input; // whose files it adds to
        bool given;
    };

    void walk(const QByteArray &folder, int input, bool given)
    {
        struct stat info = {};
        if (::stat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
            return;
        const QPair<quint64, quint64> identity(quint64(info.st_dev), quint64(info.st_ino));
        if (m_walked.contains(identity))
            return;
        m_walked.insert(identity);
        DIR *dir = ::opendir(folder.constData());
        if (!dir) {
            if (m_problems)
                m_problems->unreadableFolders.append({escapeFileName(folder), systemError(errno), given});
            return;
        }
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray path = folder.endsWith('/') ? folder + name : folder + '/' + name;
            struct stat target = {};
            if (::stat(path.constData(), &target) != 0)
                continue; // a dangling link: nothing to scan
            if (S_ISDIR(target.st_mode) && isBundleName(QFile::decodeName(name))) {
                // A bundle is one plug-in, never walked into for others' files.
                m_files[input] << escapeFileName(path);
            } else if (S_ISDIR(target.st_mode)) {
                struct stat link = {};
                if (::lstat(path.constData(), &link) == 0 && S_ISLNK(link.st_mode))
                    m_linked.append({path, input, false});
                else
                    walk(path, input, false);
            } else if (isPluginFileName(name)) {
                const QString shown = escapeFileName(path);
                if (QFile::encodeName(shown) != path && m_problems)
                    m_problems->badNames.insert(shown);
                m_files[input] << shown;
            }
        }
        ::closedir(dir);
    }

    CandidateProblems *m_problems;
    QSet<QPair<quint64, quint64>> m_walked;
    QList<Linked> m_linked;
    QList<QStringList> m_files; // per input
};

} // namespace

QString escapeFileName(const QByteArray &name)
{
    QString shown;
    for (int i = 0; i < name.size();) {
        const uchar lead = uchar(name.at(i));
        const int length = lead < 0x80 ? 1
            : (lead & 0xe0) == 0xc0    ? 2
            : (lead & 0xf0) == 0xe0    ? 3
            : (lead & 0xf8) == 0xf0    ? 4
                                       : 0;
        const QByteArray sequence = name.mid(i, qMax(length, 1));
        const QString decoded = QString::fromUtf8(sequence);
        // What does not come back as the same bytes is not valid UTF-8
        // (stray continuation bytes, overlong forms, surrogates).
        if (length > 0 && sequence.size() == length && decoded.toUtf8() == sequence
            && !decoded.contains(QChar::ReplacementCharacter)) {
            shown += decoded;
            i += length;
        } else {
            shown += QStringLiteral("\\x%1").arg(uint(lead), 2, 16, QLatin1Char('0'));
            ++i;
        }
    }
    return shown;
}

QStringList findCandidates(const QStringList &inputs, CandidateProblems *problems)
{
    QStringList folders;
    for (const QString &input : inputs) {
        if (QFileInfo(input).isDir() && !isBundleName(input))
            folders << input;
    }
    const QList<QStringList> below = FolderWalk(problems).filesBelow(folders);
    QStringList files;
    for (const QString &input : inputs)
        files << (folders.contains(input) ? below.at(folders.indexOf(input)) : QStringList{input});

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

QList<Candidate> candidatesOf(const QStringList &paths, const QStringList &formats, const QStringList &given)
{
    QList<Candidate> candidates;
    for (const QString &path : paths) {
        const QFileInfo file(path);
        QStringList of = formatsOf(path, file.isDir(), formats);
        // A file named on the command line is scanned even without a
        // known suffix (as VST 2, which says what it is not).
        if (of.isEmpty() && given.contains(path) && !file.isDir())
            of << (formats.contains(QLatin1String("vst2")) ? QStringLiteral("vst2") : formats.value(0));
        for (const QString &format : of)
            candidates << Candidate{path, format};
    }
    return candidates;
}

QStringList defaultPluginFolders(const QStringList &formats)
{
    QStringList folders;
    for (const QString &name : formats) {
        if (const PluginFormat *format = findFormat(name)) {
            for (const QString &folder : formatFolders(*format)) {
                if (!folders.contains(folder))
                    folders << folder;
            }
        }
    }
    return folders;
}

} // namespace ombrel
