#include "launcher/run/privatestores.h"

#include "launcher/core/systemerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrel {

namespace {

const char kRunPrefix[] = "ombrel-scan-run.";
const char kLockName[] = "/lock";

// Removes the run folders under base whose launcher is gone: their lock
// can be taken. Only our own are looked at; others' we could not remove.
void removeStaleRunFolders(const QString &base)
{
    const QStringList names
        = QDir(base).entryList({QString::fromLatin1(kRunPrefix) + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden);
    for (const QString &name : names) {
        const QString folder = base + QLatin1Char('/') + name;
        struct stat info = {};
        if (::lstat(QFile::encodeName(folder).constData(), &info) != 0 || info.st_uid != ::getuid()
            || !S_ISDIR(info.st_mode))
            continue;
        const int fd
            = ::open(QFile::encodeName(folder + QLatin1String(kLockName)).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        // A run folder only ever gets its name with its lock file in it:
        // one without has been half removed already.
        if (fd < 0 && errno != ENOENT)
            continue;
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            QDir(folder).removeRecursively();
        if (fd >= 0)
            ::close(fd);
    }
}

} // namespace

PrivateStores::PrivateStores() = default;

PrivateStores::~PrivateStores()
{
    if (!m_runFolder.isEmpty())
        QDir(m_runFolder).removeRecursively();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QStringList PrivateStores::baseFolders()
{
    QStringList bases;
    for (const QString &base : {qEnvironmentVariable("TMPDIR"), QStringLiteral("/tmp"), QStringLiteral("/var/tmp"),
                                qEnvironmentVariable("XDG_RUNTIME_DIR")}) {
        if (!base.isEmpty() && QDir::isAbsolutePath(base) && !bases.contains(base))
            bases << base;
    }
    return bases;
}

bool PrivateStores::openRunFolder(QString *error)
{
    QStringList reasons;
    for (const QString &base : baseFolders()) {
        removeStaleRunFolders(base);
        // Made under a name the cleaner ignores, and given its run name
        // only once its lock is held, so no other launcher can take it for
        // a stale one.
        QByteArray staging = QFile::encodeName(base + QStringLiteral("/.ombrel-scan-new.XXXXXX"));
        if (!::mkdtemp(staging.data())) {
            reasons << QStringLiteral("%1: %2").arg(base, systemError(errno));
            continue;
        }
        const QString stagingPath = QFile::decodeName(staging);
        const int fd = ::open(QFile::encodeName(stagingPath + QLatin1String(kLockName)).constData(),
                              O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        const QString runFolder = base + QLatin1Char('/') + QLatin1String(kRunPrefix)
            + stagingPath.mid(stagingPath.lastIndexOf(QLatin1Char('.')) + 1);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0
            || ::rename(staging.constData(), QFile::encodeName(runFolder).constData()) != 0) {
            reasons << QStringLiteral("%1: %2").arg(base, systemError(errno));
            if (fd >= 0)
                ::close(fd);
            QDir(stagingPath).removeRecursively();
            continue;
        }
        m_runFolder = runFolder;
        m_lockFd = fd;
        return true;
    }
    *error = QStringLiteral("no private store folder can be made (%1)")
                 .arg(reasons.isEmpty() ? QStringLiteral("no temporary folder") : reasons.join(QStringLiteral("; ")));
    return false;
}

QString PrivateStores::newFolder(QString *error)
{
    // A run folder removed under us (a temporary-folder cleaner) is made
    // again, elsewhere if need be.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_runFolder.isEmpty() && !openRunFolder(error))
            return QString();
        QByteArray folder = QFile::encodeName(m_runFolder + QStringLiteral("/scan.XXXXXX"));
        if (::mkdtemp(folder.data()))
            return QFile::decodeName(folder);
        const int reason = errno;
        *error = QStringLiteral("no private store folder can be made in %1 (%2)").arg(m_runFolder, systemError(reason));
        if (reason != ENOENT)
            return QString();
        ::close(m_lockFd);
        m_lockFd = -1;
        m_runFolder.clear();
    }
    return QString();
}

void PrivateStores::remove(const QString &folder)
{
    if (!folder.isEmpty())
        QDir(folder).removeRecursively();
}

} // namespace ombrel
