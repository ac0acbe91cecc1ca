// ombrel-scan over a folder of test plug-ins that crash, hang, are banned,
// are no libraries and are reached twice, as a person or a host runs it.

#include "common/scannerrun.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <unistd.h>

namespace {

struct Expected
{
    const char *file;
    const char *outcome;
    const char *name; // for ok
};

// The library under test. zz_hang sorts last, so with -j 1 every other
// scan has finished once it is running.
const Expected kLibrary[] = {
    {"Kontakt/k.so", "banned", nullptr},
    {"crash.so", "crashed", nullptr},
    {"effect.so", "ok", "Test Effect"},
    {"instrument.so", "ok", "instrument.so"},
    {"no_entry.so", "not-a-plugin", nullptr},
    {"notes.so", "not-a-plugin", nullptr},
    {"sub/deeper/main_only.so", "ok", "via main"},
    {"zz_hang.so", "timed-out", nullptr},
};
const int kLibrarySize = int(sizeof kLibrary / sizeof kLibrary[0]);

struct Run
{
    int exitCode = -1;
    int signal = 0; // when it died by one
    QJsonObject report;
    QString err;
    qint64 milliseconds = 0;
};

} // namespace

class LauncherTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_library;

    QString cacheFile(const QString &name) const { return m_dir.path() + QStringLiteral("/") + name + ".json"; }

    // shellSetup: shell commands run before the launcher, e.g. a ulimit.
    // runAs: a command that runs the launcher as someone else.
    Run launch(const QStringList &args, const QProcessEnvironment &extraEnv = QProcessEnvironment(),
               const QString &shellSetup = QString(), const QStringList &runAs = QStringList())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // A sanitizer build must still let the crashing plug-in crash.
        env.insert("ASAN_OPTIONS", asanOptions("handle_segv=0").value("ASAN_OPTIONS"));
        for (const QString &key : extraEnv.keys())
            env.insert(key, extraEnv.value(key));
        QProcess process;
        process.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        if (!runAs.isEmpty())
            process.start(runAs.first(), runAs.mid(1) + QStringList{LAUNCHER_PATH} + args);
        else if (shellSetup.isEmpty())
            process.start(QStringLiteral(LAUNCHER_PATH), args);
        else
            process.start("/bin/bash", QStringList{"-c", shellSetup + " && exec \"$0\" \"$@\"", LAUNCHER_PATH} + args);
        Run run;
        if (!process.waitForFinished(120000))
            return run;
        run.milliseconds = clock.elapsed();
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.signal = process.exitStatus() == QProcess::CrashExit ? process.exitCode() : 0;
        run.report = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    Run scanLibrary(const QString &cache, const QStringList &extra = {})
    {
        return launch(QStringList{"--json", "--timeout", "1", "--cache", cache} + extra + QStringList{m_library});
    }

    static QMap<QString, QJsonObject> byPath(const QJsonObject &report)
    {
        QMap<QString, QJsonObject> plugins;
        for (const QJsonValue &value : report.value("plugins").toArray())
            plugins.insert(value.toObject().value("path").toString(), value.toObject());
        return plugins;
    }

    QStringList scannedPaths(const QJsonObject &report) const
    {
        QStringList paths;
        for (const QJsonValue &value : report.value("plugins").toArray()) {
            if (!value.toObject().value("cached").toBool())
                paths << value.toObject().value("path").toString().mid(m_library.size() + 1);
        }
        return paths;
    }

    // Alive and not a zombie: a scanner of a dead launcher may wait for
    // a reaper that a container does not have.
    static bool running(qint64 pid)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
    }

    // The scanner process started by the launcher for a path ending so.
    static qint64 scannerOf(qint64 launcher, const QByteArray &pathEnd)
    {
        for (const QString &pid : QDir("/proc").entryList(QDir::Dirs)) {
            QFile cmdline("/proc/" + pid + "/cmdline");
            QFile stat("/proc/" + pid + "/stat");
            if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(pathEnd) && stat.open(QIODevice::ReadOnly)
                && stat.readAll().split(')').last().split(' ').value(2).toLongLong() == launcher)
                return pid.toLongLong();
        }
        return 0;
    }

    static QStringList runFolders(const QString &tmp) { return QDir(tmp).entryList({"ombrel-scan-run.*"}, QDir::Dirs); }

    void copyPlugin(const QString &variant, const QString &as, const QString &library = QString())
    {
        const QString path = (library.isEmpty() ? m_library : library) + "/" + as;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QVERIFY(QFile::copy(testPluginPath(variant), path));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_library = m_dir.path() + "/library";
        copyPlugin("good_effect", "Kontakt/k.so");
        copyPlugin("crash_in_open", "crash.so");
        copyPlugin("good_effect", "effect.so");
        copyPlugin("instrument", "instrument.so");
        copyPlugin("no_entry_point", "no_entry.so");
        copyPlugin("main_only", "sub/deeper/main_only.so");
        copyPlugin("hang_in_open", "zz_hang.so");
        QFile notes(m_library + "/notes.so");
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("not a library\n");
        notes.close();
        // Reached twice: the link must not be scanned again.
        QVERIFY(QFile::link(m_library + "/effect.so", m_library + "/effect-link.so"));
        // Not a library by its suffix: never a candidate in a folder walk.
        copyPlugin("good_effect", "readme.txt");
    }

    void outcomes_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::newRow("-j 1") << 1;
        QTest::newRow("-j 4") << 4;
    }

    void outcomes()
    {
        QFETCH(int, jobs);
        const Run run = scanLibrary(cacheFile(QStringLiteral("outcomes-%1").arg(jobs)), {"-j", QString::number(jobs)});
        QCOMPARE(run.exitCode, 0);
        const QMap<QString, QJsonObject> plugins = byPath(run.report);
        QCOMPARE(plugins.size(), kLibrarySize);
        for (const Expected &expected : kLibrary) {
            const QJsonObject plugin = plugins.value(m_library + "/" + expected.file);
            QCOMPARE(plugin.value("outcome").toString(), QString::fromLatin1(expected.outcome));
            if (expected.name)
                QCOMPARE(plugin.value("name").toString(), QString::fromLatin1(expected.name));
        }
        const QJsonObject effect = plugins.value(m_library + "/effect.so");
        QCOMPARE(effect.value("vendor").toString(), QStringLiteral("Kestrune Tests"));
        QCOMPARE(effect.value("inchans").toInt(), 3);
        QCOMPARE(effect.value("outchans").toInt(), 5);
        QCOMPARE(effect.value("instrument").toBool(), false);
        QCOMPARE(plugins.value(m_library + "/instrument.so").value("instrument").toBool(), true);
        QCOMPARE(plugins.value(m_library + "/crash.so").value("signal").toInt(), int(SIGSEGV));

        // Killed within its limit plus a second.
        const qint64 hang = plugins.value(m_library + "/zz_hang.so").value("milliseconds").toDouble();
        QVERIFY2(hang >= 1000 && hang <= 2000, qPrintable(QString::number(hang)));
        QCOMPARE(run.report.value("scanned").toInt(), kLibrarySize);
    }

    void jobCountsAgree()
    {
        const Run one = scanLibrary(cacheFile("agree-1"), {"-j", "1"});
        const Run four = scanLibrary(cacheFile("agree-4"), {"-j", "4"});
        const QMap<QString, QJsonObject> a = byPath(one.report);
        const QMap<QString, QJsonObject> b = byPath(four.report);
        QCOMPARE(a.size(), kLibrarySize);
        QCOMPARE(a.keys(), b.keys());
        for (const QString &path : a.keys()) {
            QJsonObject x = a.value(path);
            QJsonObject y = b.value(path);
            x.remove("milliseconds");
            y.remove("milliseconds");
            QCOMPARE(x, y);
        }
    }

    void cacheDecidesWhatIsScanned()
    {
        const QString cache = cacheFile("incremental");
        QCOMPARE(scanLibrary(cache).report.value("scanned").toInt(), kLibrarySize);

        // Nothing changed: nothing scanned, the same results.
        const Run second = scanLibrary(cache);
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(scannedPaths(second.report), QStringList());
        QCOMPARE(second.report.value("outcomes").toObject().value("ok").toInt(), 3);
        QVERIFY2(second.milliseconds < 1000, "a run with nothing to scan must not wait on the hanging plug-in");

        // A touched file, and only it, is scanned again.
        QFile effect(m_library + "/effect.so");
        QVERIFY(effect.open(QIODevice::ReadWrite));
        QVERIFY(effect.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
        effect.close();
        QCOMPARE(scannedPaths(scanLibrary(cache).report), QStringList{"effect.so"});

        // Crashed and timed-out plug-ins only when asked.
        QCOMPARE(scannedPaths(scanLibrary(cache, {"--retry-failed"}).report),
                 (QStringList{"crash.so", "zz_hang.so"}));
        QCOMPARE(scanLibrary(cache, {"--rescan"}).report.value("scanned").toInt(), kLibrarySize);
    }

    void interruptedRunKeepsFinishedScans_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl-C") << int(SIGINT);
        QTest::newRow("killed") << int(SIGKILL); // saves nothing on the way out
    }

    void interruptedRunKeepsFinishedScans()
    {
#if !defined(Q_OS_LINUX)
        QSKIP("finds the scanner's process through /proc");
#endif
        QFETCH(int, signal);
        const QString cache = cacheFile(QStringLiteral("interrupted-%1").arg(signal));
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ASAN_OPTIONS", asanOptions("handle_segv=0").value("ASAN_OPTIONS"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(LAUNCHER_PATH),
                      {"--json", "-j", "1", "--timeout", "60", "--cache", cache, m_library});
        QVERIFY(process.waitForStarted());

        // -j 1 and zz_hang last: once it is being scanned, all else is done.
        qint64 hang = 0;
        QTRY_VERIFY_WITH_TIMEOUT((hang = scannerOf(process.processId(), "zz_hang.so")) != 0, 30000);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!running(hang), 5000);
        if (signal == SIGINT) {
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), 130);
            const QJsonObject report = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
            QCOMPARE(report.value("interrupted").toBool(), true);
            QVERIFY(!byPath(report).contains(m_library + "/zz_hang.so")); // in flight: not recorded
        }

        // The next run takes up where this one stopped.
        const Run next = scanLibrary(cache);
        QCOMPARE(next.exitCode, 0);
        QCOMPARE(scannedPaths(next.report), QStringList{"zz_hang.so"});
    }

    void failedSaveLeavesTheCacheWhole()
    {
        // A full filesystem where the tests may mount one, else a folder
        // that cannot be written to.
        const QString folder = m_dir.path() + "/small";
        QVERIFY(QDir().mkpath(folder));
        const bool root = ::geteuid() == 0;
        if (root && QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", folder}) != 0)
            QSKIP("cannot mount a small filesystem");
        auto cleanup = qScopeGuard([&] {
            if (root)
                QProcess::execute("umount", {folder});
        });
        const QString cache = folder + "/cache.json";
        QCOMPARE(scanLibrary(cache).exitCode, 0);
        QFile file(cache);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray saved = file.readAll();
        file.close();
        if (root) {
            QFile filler(folder + "/filler");
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            while (filler.write(QByteArray(4096, 'x')) > 0) {
            }
        } else {
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        }

        const Run run = scanLibrary(cache, {"--rescan"});
        QCOMPARE(run.exitCode, 3);
        QVERIFY2(run.err.contains("cannot write " + cache + " ("), qPrintable(run.err));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), saved);
        if (!root)
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void launcherSideFailuresAreNotCached()
    {
        const QString folder = m_dir.path() + "/fds";
        for (int i = 0; i < 24; ++i)
            copyPlugin("good_effect", QStringLiteral("e%1.so").arg(i, 2, 10, QLatin1Char('0')), folder);
        const QString cache = cacheFile("fds");
        const Run starved = launch({"--json", "-j", "8", "--cache", cache, folder}, {}, "ulimit -n 24");
        QCOMPARE(starved.exitCode, 0);
        const int failed = starved.report.value("outcomes").toObject().value("failed").toInt();
        if (failed == 0)
            QSKIP("every scan could start even so");
        for (const QJsonObject &plugin : byPath(starved.report)) {
            if (plugin.value("outcome").toString() == "failed")
                QVERIFY2(!plugin.value("reason").toString().isEmpty(), "a failure on our side says why");
        }
        const Run next = launch({"--json", "--cache", cache, folder});
        QCOMPARE(next.report.value("scanned").toInt(), failed);
        QCOMPARE(next.report.value("outcomes").toObject().value("ok").toInt(), 24);
    }

    void twoRunsAtOnceKeepBothResults()
    {
        const QString cache = cacheFile("shared");
        QStringList folders;
        for (const char *name : {"shared-a", "shared-b"}) {
            folders << m_dir.path() + "/" + name;
            for (int i = 0; i < 30; ++i)
                copyPlugin("good_effect", QStringLiteral("e%1.so").arg(i), folders.last());
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", m_dir.path()); // neither may take the other's stores for stale
        QProcess a, b;
        for (QProcess *process : {&a, &b}) {
            process->setProcessEnvironment(env);
            process->start(LAUNCHER_PATH, {"--json", "-j", "2", "--cache", cache, folders.at(process == &b)});
        }
        for (QProcess *process : {&a, &b}) {
            QVERIFY(process->waitForFinished(120000));
            QCOMPARE(process->exitCode(), 0);
            const QJsonObject report = QJsonDocument::fromJson(process->readAllStandardOutput()).object();
            QCOMPARE(report.value("outcomes").toObject().value("ok").toInt(), 30);
        }
        QCOMPARE(launch({"--json", "--cache", cache, folders.at(0), folders.at(1)}).report.value("cached").toInt(), 60);
    }

    void fileChangedDuringItsScanIsScannedAgain()
    {
#if !defined(Q_OS_LINUX)
        QSKIP("finds the scanner's process through /proc");
#endif
        const QString folder = m_dir.path() + "/changing";
        copyPlugin("hang_in_open", "slow.so", folder);
        const QString cache = cacheFile("changing");
        QProcess process;
        process.start(LAUNCHER_PATH, {"--json", "--timeout", "1", "--cache", cache, folder});
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(scannerOf(process.processId(), "slow.so") != 0, 30000);
        QFile plugin(folder + "/slow.so");
        QVERIFY(plugin.open(QIODevice::ReadWrite));
        QVERIFY(plugin.setFileTime(QDateTime::currentDateTime().addSecs(10), QFileDevice::FileModificationTime));
        plugin.close();
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(launch({"--json", "--timeout", "1", "--cache", cache, folder}).report.value("scanned").toInt(), 1);
    }

    void corruptCacheIsRebuilt_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("not json") << QByteArray("{\"version\": 1, \"entr");
        QTest::newRow("binary") << QByteArray("\x00\xff\x13garbage", 10);
        QTest::newRow("wrong shape") << QByteArray("[1, 2, 3]");
        QTest::newRow("other version") << QByteArray("{\"version\": 99, \"entries\": {}}");
        QTest::newRow("bad entries") << QByteArray("{\"version\": 1, \"entries\": {\"/x\": 5, \"/y\": {\"result\": 3}}}");
    }

    void corruptCacheIsRebuilt()
    {
        QFETCH(QByteArray, contents);
        const QString cache = cacheFile("corrupt");
        QFile file(cache);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
        file.close();

        const Run run = scanLibrary(cache, {"-j", "4"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.report.value("scanned").toInt(), kLibrarySize);
        QCOMPARE(scanLibrary(cache).report.value("scanned").toInt(), 0);
    }

    void usageAndCacheErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");

        QTest::newRow("no jobs") << QStringList{"-j", "0"} << 2 << "-j takes a whole number from 1 to 1024, not '0'";
        for (const char *jobs : {"1025", "-3", "2.5", "1e3", "", "four", "99999999999"})
            QTest::newRow(qPrintable(QStringLiteral("-j '%1'").arg(jobs))) << QStringList{"-j", jobs} << 2 << "-j takes";
        QTest::newRow("bad timeout") << QStringList{"--timeout", "soon"} << 2 << "--timeout";
        // Each once slipped through: no limit at all, or every plug-in timed out.
        for (const char *timeout : {"nan", "inf", "-inf", "1e10", "0.0001", "0", "-5", "86401"})
            QTest::newRow(qPrintable(QStringLiteral("--timeout %1").arg(timeout)))
                << QStringList{"--timeout", timeout} << 2
                << QStringLiteral("--timeout takes a number of seconds from 0.1 to 86400, not '%1'").arg(timeout);
        QTest::newRow("unknown option") << QStringList{"--fast"} << 2 << "fast";
        QTest::newRow("no scanner") << QStringList{"--scanner", "/nonexistent/scanner"} << 2 << "no scanner found";
        QTest::newRow("cache under a file") << QStringList{"--cache", "%L/notes.so/cache.json"} << 3 << "cannot";
    }

    void usageAndCacheErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const Run run = launch(args.replaceInStrings("%L", m_library) + QStringList{m_library + "/effect.so"});
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.startsWith("ombrel-scan: ") && run.err.contains(message), qPrintable(run.err));
    }

    void vstPathIsTheDefault()
    {
        QProcessEnvironment env;
        env.insert("VST_PATH", m_library + "/sub:" + m_library + "/nonexistent");
        const Run run = launch({"--json", "--cache", cacheFile("vstpath")}, env);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(byPath(run.report).keys(), QStringList{m_library + "/sub/deeper/main_only.so"});
    }

    void progressLineOnATerminal()
    {
        if (!QFile::exists("/usr/bin/script"))
            QSKIP("needs script(1) to give the launcher a terminal");
        const QString effect = m_library + "/effect.so";
        QProcess process;
        process.start("/usr/bin/script", {"-qec", QStringLiteral("'%1' --cache '%2' '%3'")
                                                      .arg(LAUNCHER_PATH, cacheFile("terminal"), effect),
                                          "/dev/null"});
        QVERIFY(process.waitForFinished(60000));
        const QByteArray screen = process.readAllStandardOutput();
        QVERIFY2(screen.contains("\r\x1b[K[1/1] ") && screen.contains("Test Effect"), screen.constData());
    }

    void floodingOutputKeepsMemoryBounded()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer reserves more address space than any useful limit");
#endif
        const QString flood = m_dir.path() + "/flood";
        for (int i = 0; i < 8; ++i)
            copyPlugin("flood_output", QStringLiteral("f%1.so").arg(i), flood);
        // Kept whole, what they write passes this within a second.
        const Run run = launch({"--json", "-j", "8", "--timeout", "2", "--cache", cacheFile("flood"), flood}, {},
                               "ulimit -v 262144");
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.report.value("outcomes").toObject().value("timed-out").toInt(), 8);
    }

    void killedLauncherTakesItsScansAlong()
    {
#if !defined(Q_OS_LINUX)
        QSKIP("finds the scanner's process through /proc");
#endif
        const QString tmp = m_dir.path() + "/tmp-killed";
        QVERIFY(QDir().mkpath(tmp));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tmp);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(LAUNCHER_PATH, {"--timeout", "600", "--cache", cacheFile("killed"), m_library + "/zz_hang.so"});
        QVERIFY(process.waitForStarted());
        qint64 scanner = 0;
        QTRY_VERIFY_WITH_TIMEOUT((scanner = scannerOf(process.processId(), "zz_hang.so")) != 0, 30000);
        ::kill(pid_t(process.processId()), SIGKILL);
        QVERIFY(process.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!running(scanner), 5000);
        QCOMPARE(runFolders(tmp).size(), 1); // the killed launcher's private stores

        // The next run removes them, and keeps its own only while it runs.
        QProcessEnvironment next;
        next.insert("TMPDIR", tmp);
        QCOMPARE(launch({"--cache", cacheFile("killed"), m_library + "/effect.so"}, next).exitCode, 0);
        QCOMPARE(runFolders(tmp), QStringList());
    }

    void userStoreIsNeverUsed()
    {
        // No usable TMPDIR: the scans still get private stores elsewhere.
        const QString home = m_dir.path() + "/home";
        QProcessEnvironment env;
        env.insert("TMPDIR", m_dir.path() + "/nonexistent");
        env.insert("HOME", home);
        env.insert("XDG_CONFIG_HOME", home + "/.config");
        const Run run = launch({"--json", "--cache", cacheFile("userstore"), m_library + "/effect.so"}, env);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.report.value("outcomes").toObject().value("ok").toInt(), 1);
        QVERIFY(!QFileInfo::exists(home + "/.config/Kestrune"));
    }

    void reportThatCannotBeWritten_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("message");
        QTest::newRow("full device") << "/dev/full" << 4 << 0 << "cannot write the report to standard output (";
        QTest::newRow("closed pipe") << "" << -1 << int(SIGPIPE) << "";
    }

    void reportThatCannotBeWritten()
    {
        QFETCH(QString, output);
        QFETCH(int, exitCode);
        QFETCH(int, signal);
        QFETCH(QString, message);
        int pipeEnds[2] = {-1, -1};
        if (output.isEmpty()) {
            QVERIFY(::pipe(pipeEnds) == 0);
            ::close(pipeEnds[0]); // nobody reads
            output = QStringLiteral("&%1").arg(pipeEnds[1]);
        }
        const Run run = launch({"--json", "--cache", cacheFile("output"), m_library + "/effect.so"}, {},
                               "exec >" + output);
        if (pipeEnds[1] >= 0)
            ::close(pipeEnds[1]);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.signal, signal);
        QVERIFY2(message.isEmpty() ? run.err.isEmpty() : run.err.contains(message), qPrintable(run.err));
    }

    void plugInTextCannotDriveTheTerminal()
    {
        const QString folder = m_dir.path() + "/control";
        copyPlugin("control_names", "evil\x1b[2J.so", folder);
        const QString cache = cacheFile("control");
        QProcess table;
        table.start(LAUNCHER_PATH, {"--cache", cache, folder});
        QVERIFY(table.waitForFinished(60000));
        const QByteArray text = table.readAllStandardOutput();
        QCOMPARE(text.count('\n'), 3); // header, one row, summary
        for (const char c : text)
            QVERIFY2(uchar(c) >= 0x20 || c == '\n', text.constData());
        QVERIFY2(text.contains("Evil\\x1b[2J\\x1b[31mRed") && text.contains("Ven\\tdor\\nforged row\\r")
                     && text.contains("evil\\x1b[2J.so"),
                 text.constData());

        const QJsonObject plugin = byPath(launch({"--json", "--cache", cache, folder}).report).first();
        QCOMPARE(plugin.value("name").toString(), QStringLiteral("Evil\x1b[2J\x1b[31mRed"));
        QCOMPARE(plugin.value("vendor").toString(), QStringLiteral("Ven\tdor\nforged row\r"));
    }

    void everyFileIsAccountedFor()
    {
        // Where the tests run as root, the launcher runs as nobody, for
        // whom a folder can be unreadable: everything else must be open.
        QStringList runAs;
        if (::geteuid() == 0)
            runAs = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        if (!runAs.isEmpty() && QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("needs setpriv to run as someone who can be refused");
        QTemporaryDir open;
        QVERIFY(QFile::setPermissions(open.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                       | QFileDevice::ReadOther | QFileDevice::ExeOther | QFileDevice::WriteOther));
        const QString walk = open.path() + "/walk";
        copyPlugin("good_effect", "real/a.so", walk);
        copyPlugin("good_effect", "vendor/b.so", open.path());
        copyPlugin("good_effect", "locked/c.so", walk);
        QVERIFY(QFile::link(walk + "/real", walk + "/a-link"));        // sorts first, walked as real/
        QVERIFY(QFile::link(open.path() + "/vendor", walk + "/outside")); // only reachable so
        QVERIFY(QFile::link(walk, walk + "/real/loop"));
        QVERIFY(QFile::copy(testPluginPath("good_effect"), walk + "/bad.so"));
        QVERIFY(::rename(QFile::encodeName(walk + "/bad.so").constData(),
                         QFile::encodeName(walk).append("/caf\xe9.so").constData()) == 0);
        QVERIFY(QFile::setPermissions(walk + "/locked", QFileDevice::Permissions()));
        const QString cache = open.path() + "/cache.json";

        const Run run = launch({"--json", "--cache", cache, walk}, {}, {}, runAs);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains("cannot read folder " + walk + "/locked ("), qPrintable(run.err));
        const QMap<QString, QJsonObject> plugins = byPath(run.report);
        QCOMPARE(plugins.keys(), (QStringList{walk + "/caf\\xe9.so", walk + "/outside/b.so", walk + "/real/a.so"}));
        QCOMPARE(plugins.first().value("outcome").toString(), QStringLiteral("non-utf8-name"));
        QCOMPARE(run.report.value("outcomes").toObject().value("ok").toInt(), 2);

        // Named on the command line, a folder that cannot be read is an error.
        QCOMPARE(launch({"--json", "--cache", cache, walk + "/locked"}, {}, {}, runAs).exitCode, 2);
    }

    void tableForPeople()
    {
        const Run run = launch({"--cache", cacheFile("table"), m_library + "/effect.so", m_library + "/Kontakt/k.so"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.err.isEmpty()); // no progress line when stderr is not a terminal
        QVERIFY(run.report.isEmpty()); // a table, not JSON
    }
};

QTEST_GUILESS_MAIN(LauncherTest)
#include "tst_launcher.moc"
