// The scan server's own units: emptying a sandbox's private folders after
// a scan, and the system call filter every scan runs under.

#include "scanserver/emptyfolder.h"
#include "scanserver/syscallfilter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Lays out entries below `root`: "dir/" a folder, "a -> b" a link, else a
// file; "dir/ 0" a folder of mode 0 (its contents made before).
bool layOut(const QString &root, const QStringList &entries)
{
    QStringList locked;
    for (const QString &entry : entries) {
        const QString path = root + QLatin1Char('/') + entry.section(QLatin1Char(' '), 0, 0);
        if (entry.contains(QLatin1String(" -> "))) {
            if (!QFile::link(entry.section(QLatin1String(" -> "), 1), path))
                return false;
        } else if (entry.contains(QLatin1String("/ "))) {
            locked << path;
        } else if (path.endsWith(QLatin1Char('/'))) {
            if (!QDir().mkpath(path))
                return false;
        } else {
            QFile file(path);
            if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !file.open(QIODevice::WriteOnly))
                return false;
            file.write("x");
        }
    }
    for (const QString &path : locked) {
        if (::chmod(QFile::encodeName(path).constData(), 0) != 0)
            return false;
    }
    return true;
}

QStringList leftIn(const QString &root)
{
    QStringList left;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        left << QDir(root).relativeFilePath(it.next());
    left.sort();
    return left;
}

// Unlocks what a test made unreadable, so that QTemporaryDir can remove it.
void unlock(const QString &root)
{
    QDirIterator it(root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    ::chmod(QFile::encodeName(root).constData(), 0700);
    while (it.hasNext())
        ::chmod(QFile::encodeName(it.next()).constData(), 0700);
}

} // namespace

class ScanServerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyFolder_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("files and folders")
            << QStringList{".hidden", "a", "d/e/f", "d/g/", ".config/x/y"} << QStringList{};
        // A link is removed, never followed: what it names stays.
        QTest::newRow("links out") << QStringList{"../outside/kept", "in/", "in/link -> ../../outside",
                                                  "file -> ../outside/kept"}
                                   << QStringList{};
        QTest::newRow("folders made unreadable")
            << QStringList{"a/b/c/f", "a/b/g", "a/b/c/ 0", "a/b/ 0", "a/ 0"} << QStringList{};
    }

    void emptyFolder()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, left);
        QTemporaryDir base;
        QVERIFY(base.isValid());
        const QString root = base.path() + "/private";
        QVERIFY(QDir().mkpath(root));
        QVERIFY(layOut(root, entries));
        ::emptyFolder(QFile::encodeName(root));
        const QStringList found = leftIn(root);
        unlock(root);
        QCOMPARE(found, left);
        QVERIFY(QFileInfo(root).isDir());
        QVERIFY(!entries.contains("../outside/kept") || QFile::exists(base.path() + "/outside/kept"));
    }

    // A folder bound into a private one, below folders the sandbox made:
    // not entered, so none of its files is touched (a writable file
    // system here, so that entering it would show).
    void emptyFolderStaysOffMounts()
    {
        QTemporaryDir base;
        QVERIFY(base.isValid());
        const QByteArray root = QFile::encodeName(base.path());
        const pid_t child = ::fork();
        if (child == 0) {
            if (::unshare(CLONE_NEWNS) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
                ::_exit(77);
            const QByteArray mounted = root + "/x/y/plugins";
            if (!QDir().mkpath(QFile::decodeName(mounted))
                || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || ::mount("tmpfs", mounted.constData(), "tmpfs", 0, "size=1m") != 0)
                ::_exit(77);
            QFile plugin(QFile::decodeName(mounted + "/plugin.so"));
            QFile other(QFile::decodeName(root + "/x/left-by-a-scan"));
            if (!plugin.open(QIODevice::WriteOnly) || !other.open(QIODevice::WriteOnly))
                ::_exit(2);
            plugin.close();
            other.close();
            ::emptyFolder(root);
            ::_exit(plugin.exists() && !other.exists() ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        if (WEXITSTATUS(status) == 77)
            QSKIP("no mount namespace can be had here");
        QCOMPARE(WEXITSTATUS(status), 0);
    }

#if defined(__x86_64__) || defined(__i386__)
    // A scan of either word size runs under the filter, with the same calls
    // refused; a call of a word size the filter does not name kills.
    void filterCoversBothWordSizes_data()
    {
        QTest::addColumn<QString>("arch");
        QTest::addColumn<QStringList>("refused");
        const QStringList both{"process_vm_readv",
                               "process_vm_writev",
                               "bpf",
                               "kexec_load",
                               "init_module",
                               "keyctl",
                               "mount",
                               "umount2",
                               "setns",
                               "unshare",
                               "iopl",
                               "ioctl"};
#if !defined(OMBREL_SANITIZED)
        const QStringList traced{"ptrace"};
#else
        const QStringList traced;
#endif
        QTest::newRow("64-bit x86") << "x86_64" << both + traced;
        QTest::newRow("32-bit x86") << "x86" << both + traced + QStringList{"umount", "vm86", "vm86old"};
    }

    void filterCoversBothWordSizes()
    {
        QFETCH(QString, arch);
        QFETCH(QStringList, refused);
        const SyscallFilter filter;
        if (!filter.ready())
            QSKIP("built without libseccomp");
        const QString text = QString::fromStdString(filter.exported());
        // One section per word size, up to the next one or the end.
        const QString header = QStringLiteral("# filter for arch %1 (").arg(arch);
        const int start = text.indexOf(header);
        QVERIFY2(start >= 0, qPrintable(text));
        const int end = text.indexOf(QLatin1String("# filter for arch"), start + header.size());
        const QString section = text.mid(start, end < 0 ? -1 : end - start);
        for (const QString &call : refused)
            QVERIFY2(section.contains(QStringLiteral("# filter for syscall \"%1\"").arg(call)), qPrintable(call));
        QVERIFY(section.contains(QLatin1String("action ERRNO(1);")));
        QCOMPARE(text.count(QLatin1String("# filter for arch ")), 2);
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral("# invalid architecture action\\s+action KILL"))),
                 qPrintable(text));
    }
#endif
};

QTEST_GUILESS_MAIN(ScanServerTest)
#include "tst_scanserver.moc"
