// ombrel-scan over a folder of test plug-ins that crash, hang, are banned,
// are no libraries and are reached twice, as a person or a host runs it.

#include "common/scannerrun.h"
#include "launcher/core/scanresult.h"
#include "launcher/files/elfexports.h"
#include "launcher/report/nothingfound.h"
#include "launcher/report/tablefit.h"

#include <QBuffer>
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

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace ombrel;

namespace {

struct Expected
{
    const char *file;
    const char *outcome;
    const char *name;            // for ok
    const char *cause = nullptr; // for not-a-plugin, where the file tells
};

// The library under test. zz_hang sorts last, so with -j 1 every other
// scan has finished once it is running.
const Expected kLibrary[] = {
    {"Kontakt/k.so", "banned", nullptr},
    {"crash.so", "crashed", nullptr},
    {"effect.so", "ok", "Test Effect"},
    {"instrument.so", "ok", "instrument.so"},
    {"no_entry.so", "not-a-plugin", nullptr, "no VST 2 entry point: probably a library plug-ins load"},
    {"notes.so", "not-a-plugin", nullptr, "not a library (no executable format)"},
    {"sub/deeper/main_only.so", "ok", "via main"},
    {"zz_hang.so", "timed-out", nullptr},
};
const int kLibrarySize = int(sizeof kLibrary / sizeof kLibrary[0]);

struct Run
{
    int exitCode = -1;
    int signal = 0; // when it died by one
    QJsonObject report;
    QString out;
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
    // runAs: a command that runs a launcher as someone else, the launcher included.
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
            process.start(runAs.first(), runAs.mid(1) + args);
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
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.report = QJsonDocument::fromJson(run.out.toUtf8()).object();
        run.err = withoutSandboxNotice(QString::fromUtf8(process.readAllStandardError()));
        return run;
    }

    // Where the machine allows no sandbox (a container, a chroot), the run
    // says so first; these tests are about the rest.
    static QString withoutSandboxNotice(QString err)
    {
        static const QRegularExpression notice(QStringLiteral("^ombrel-scan: no sandbox: [^\n]*\n"),
                                               QRegularExpression::MultilineOption);
        return err.remove(notice);
    }

    // Whether scans here run in a sandbox, as --help says.
    static bool sandboxHere()
    {
        QProcess help;
        help.start(QStringLiteral(LAUNCHER_PATH), {"--help"});
        return help.waitForFinished(30000) && help.readAllStandardOutput().contains("here: a sandbox)");
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

    // A scanner that ends exactly as the script says.
    QString standIn(const QString &script) const
    {
        const QString scanner = m_dir.path() + "/stand-in-" + QString::number(qHash(script));
        QFile file(scanner);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(("#!/bin/sh\n" + script + "\n").toUtf8());
            file.close();
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        }
        return scanner;
    }

    QString writeFile(const QString &name, const QString &contents) const
    {
        QFile file(m_dir.path() + "/" + name);
        if (file.open(QIODevice::WriteOnly))
            file.write(contents.toUtf8());
        return file.fileName();
    }

    // Runs the schema validator over files of one kind; the outcomes seen.
    static QStringList validate(const QString &kind, const QStringList &files)
    {
        QProcess process;
        process.start(QStringLiteral(PYTHON3), QStringList{SCHEMA_VALIDATOR, SCHEMA_DIR, kind} + files);
        if (!process.waitForFinished(60000) || process.exitCode() != 0) {
            qWarning().noquote() << process.readAllStandardError();
            return {QStringLiteral("invalid %1").arg(kind)};
        }
        return QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

    // Whether a process scans the file: a scanner started with its path, or
    // a scan server's child (which runs the scanner's code without exec)
    // that has it loaded.
    static bool scans(const QString &pid, const QByteArray &pathEnd)
    {
        for (const char *what : {"/cmdline", "/maps"}) {
            QFile file("/proc/" + pid + what);
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(pathEnd))
                return true;
        }
        return false;
    }

    // -j 1 and zz_hang last: once it is being scanned, all else is done.
    // Only this library's: other test runs may share the machine.
    bool hangRunning() const
    {
        const QByteArray hang = QFile::encodeName(m_library + "/zz_hang.so");
        for (const QString &pid : QDir("/proc").entryList(QDir::Dirs)) {
            if (scans(pid, hang))
                return true;
        }
        return false;
    }

    // Alive and not a zombie: a scanner of a dead launcher may wait for
    // a reaper that a container does not have.
    static bool running(qint64 pid)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
    }

    static qint64 parentOf(qint64 pid)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        return stat.open(QIODevice::ReadOnly) ? stat.readAll().split(')').last().split(' ').value(2).toLongLong() : 0;
    }

    // The scanner process started by the launcher for a path ending so:
    // its child, or in a sandbox its scan server's.
    static qint64 scannerOf(qint64 launcher, const QByteArray &pathEnd)
    {
        for (const QString &pid : QDir("/proc").entryList(QDir::Dirs)) {
            if (!scans(pid, pathEnd))
                continue;
            for (qint64 up = parentOf(pid.toLongLong()), steps = 0; up > 1 && steps < 4; up = parentOf(up), ++steps) {
                if (up == launcher)
                    return pid.toLongLong();
            }
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
        // clang-format off
        QTest::addColumn<int>("jobs");
        QTest::newRow("-j 1") << 1;
        QTest::newRow("-j 4") << 4;
        // clang-format on
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
                QCOMPARE(plugin.value("descriptions").toArray().at(0).toObject().value("name").toString(),
                         QString::fromLatin1(expected.name));
            QCOMPARE(plugin.value("cause").toString(), QString::fromLatin1(expected.cause));
        }
        const QJsonObject effect
            = plugins.value(m_library + "/effect.so").value("descriptions").toArray().at(0).toObject();
        QCOMPARE(effect.value("vendor").toString(), QStringLiteral("Kestrune Tests"));
        QCOMPARE(effect.value("audioInputs").toInt(), 3);
        QCOMPARE(effect.value("audioOutputs").toInt(), 5);
        QCOMPARE(effect.value("kind").toString(), QStringLiteral("effect"));
        QCOMPARE(plugins.value(m_library + "/instrument.so")
                     .value("descriptions")
                     .toArray()
                     .at(0)
                     .toObject()
                     .value("kind")
                     .toString(),
                 QStringLiteral("instrument"));
        QCOMPARE(plugins.value(m_library + "/crash.so").value("signal").toInt(), int(SIGSEGV));

        // Killed within its limit plus a second.
        const qint64 hang = plugins.value(m_library + "/zz_hang.so").value("milliseconds").toDouble();
        QVERIFY2(hang >= 1000 && hang <= 2000, qPrintable(QString::number(hang)));
        QCOMPARE(run.report.value("scanned").toInt(), kLibrarySize);
    }

    // Each format's misbehaving plug-in ends its own scan only, with and
    // without the sandbox; an LV2 bundle is read, its binary never loaded.
    void otherFormats_data()
    {
        QTest::addColumn<QString>("path"); // beside the test plug-ins
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QStringList>("ids");
        // clang-format off
        QTest::newRow("ladspa, several") << "ladspa/ladspa_plugins.so" << "ladspa" << "ok"
                                         << QStringList{"4001", "4002", "4003"};
        QTest::newRow("ladspa, crash") << "ladspa/ladspa_crash.so" << "ladspa" << "crashed" << QStringList();
        QTest::newRow("ladspa, hang") << "ladspa/ladspa_hang.so" << "ladspa" << "timed-out" << QStringList();
        QTest::newRow("lv2, binary that writes") << "lv2/writes_file.lv2" << "lv2" << "ok"
                                                 << QStringList{"urn:kestrune:tests:writes-file"};
        QTest::newRow("lv2, named with a slash") << "lv2/writes_file.lv2/" << "lv2" << "ok"
                                                 << QStringList{"urn:kestrune:tests:writes-file"};
        // clang-format on
    }

    void otherFormats()
    {
        QFETCH(QString, path);
        QFETCH(QString, format);
        QFETCH(QString, outcome);
        QFETCH(QStringList, ids);
        const QString file = QDir::cleanPath(QStringLiteral(TEST_PLUGIN_DIR "/../") + path)
            + (path.endsWith('/') ? QStringLiteral("/") : QString());
        const QString trace = m_dir.path() + "/other-trace";
        QFile::remove(trace);
        QProcessEnvironment env;
        env.insert("OMBREL_TEST_TRACE", trace);
        // Without the sandbox too: only there can a loaded binary leave its trace.
        for (const QString &sandbox : {QStringLiteral("auto"), QStringLiteral("off")}) {
            const Run run = launch({"--json", "--format", format, "--sandbox", sandbox, "--timeout", "1", "--cache",
                                    cacheFile("other-" + sandbox + "-" + QFileInfo(path).baseName()), file},
                                   env);
            QCOMPARE(run.exitCode, 0);
            const QJsonObject plugin = byPath(run.report).value(file);
            QCOMPARE(plugin.value("outcome").toString(), outcome);
            QCOMPARE(plugin.value("format").toString(), format);
            QStringList found;
            for (const QJsonValue description : plugin.value("descriptions").toArray())
                found << description.toObject().value("id").toString();
            QCOMPARE(found, ids);
            // --log finds a result of any format under the file's own path.
            const Run log
                = launch({"--cache", cacheFile("other-" + sandbox + "-" + QFileInfo(path).baseName()), "--log", file});
            QVERIFY2(log.exitCode == 0 && log.out.contains("format: " + format + "\noutcome: " + outcome),
                     qPrintable(log.out + log.err));
        }
        QFile traced(trace);
        QVERIFY(!traced.open(QIODevice::ReadOnly) || !traced.readAll().contains("lv2"));
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
            for (const char *member : {"milliseconds", "scannedAt"}) {
                x.remove(member);
                y.remove(member);
            }
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
        QCOMPARE(scannedPaths(scanLibrary(cache, {"--retry-failed"}).report), (QStringList{"crash.so", "zz_hang.so"}));
        QCOMPARE(scanLibrary(cache, {"--rescan"}).report.value("scanned").toInt(), kLibrarySize);
    }

    void interruptedRunKeepsFinishedScans_data()
    {
        // clang-format off
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("rescan");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("scannedNext");
        QTest::newRow("Ctrl-C") << int(SIGINT) << false << "the cache holds 7 of the 8 files"
                                << QStringList{"zz_hang.so"};
        // Earlier results that still stand count, though this run redid them.
        QTest::newRow("Ctrl-C, --rescan") << int(SIGINT) << true << "the cache holds 8 of the 8 files"
                                          << QStringList();
        QTest::newRow("killed") << int(SIGKILL) << false << QString() // saves nothing on the way out
                                << QStringList{"zz_hang.so"};
        // clang-format on
    }

    void interruptedRunKeepsFinishedScans()
    {
#if !defined(Q_OS_LINUX)
        QSKIP("finds the scanner's process through /proc");
#endif
        QFETCH(int, signal);
        QFETCH(bool, rescan);
        QFETCH(QString, message);
        QFETCH(QStringList, scannedNext);
        const QString cache = cacheFile(QStringLiteral("interrupted-%1-%2").arg(signal).arg(rescan));
        if (rescan)
            QCOMPARE(scanLibrary(cache).exitCode, 0);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ASAN_OPTIONS", asanOptions("handle_segv=0").value("ASAN_OPTIONS"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(LAUNCHER_PATH),
                      QStringList{"--json", "-j", "1", "--timeout", "60", "--cache", cache, m_library}
                          + (rescan ? QStringList{"--rescan"} : QStringList()));
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
            QCOMPARE(withoutSandboxNotice(QString::fromUtf8(process.readAllStandardError())),
                     "ombrel-scan: interrupted; " + message + "\n");
            const QJsonObject report = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
            QCOMPARE(report.value("interrupted").toBool(), true);
            QVERIFY(!byPath(report).contains(m_library + "/zz_hang.so")); // in flight: not recorded
        }

        // The next run takes up where this one stopped.
        const Run next = scanLibrary(cache);
        QCOMPARE(next.exitCode, 0);
        QCOMPARE(scannedPaths(next.report), scannedNext);
    }

    // A host reading the pipe sees each result as it ends: cached ones
    // first, then each scan, while later scans are still running.
    void jsonLinesArriveAsResultsEnd()
    {
#if !defined(Q_OS_LINUX)
        QSKIP("finds the scanner's process through /proc");
#endif
        const QString cache = cacheFile("lines");
        QCOMPARE(launch({"--json", "--cache", cache, m_library + "/effect.so"}).exitCode, 0);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ASAN_OPTIONS", asanOptions("handle_segv=0").value("ASAN_OPTIONS"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(LAUNCHER_PATH),
                      {"--json-lines", "-j", "1", "--timeout", "60", "--cache", cache, m_library});
        QTRY_VERIFY_WITH_TIMEOUT(hangRunning(), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(int(process.peek(1 << 20).count('\n')), kLibrarySize - 1, 5000);
        QList<QJsonObject> lines;
        for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
            if (!line.isEmpty())
                lines << QJsonDocument::fromJson(line).object();
        }
        ::kill(pid_t(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 130);
        QCOMPARE(lines.first().value("path").toString(), m_library + "/effect.so");
        QCOMPARE(lines.first().value("cached").toBool(), true);
        for (const QJsonObject &line : lines.mid(1)) {
            QCOMPARE(line.value("record").toString(), QStringLiteral("result"));
            QCOMPARE(line.value("cached").toBool(), false);
        }
        const QByteArray rest = process.readAllStandardOutput();
        QCOMPARE(rest.count('\n'), 1);
        const QJsonObject summary = QJsonDocument::fromJson(rest).object();
        QCOMPARE(summary.value("record").toString(), QStringLiteral("summary"));
        QCOMPARE(summary.value("interrupted").toBool(), true);
        QCOMPARE(summary.value("total").toInt(), kLibrarySize - 1);
        QCOMPARE(summary.value("cached").toInt(), 1);
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
            while (filler.write(QByteArray(4096, 'x')) > 0) { }
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
        // clang-format off
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("not json") << QByteArray("{\"version\": 1, \"entr");
        QTest::newRow("binary") << QByteArray("\x00\xff\x13garbage", 10);
        QTest::newRow("wrong shape") << QByteArray("[1, 2, 3]");
        QTest::newRow("other version") << QByteArray("{\"version\": 99, \"entries\": {}}");
        QTest::newRow("bad entries") << QByteArray("{\"version\": 1, \"entries\": {\"/x\": 5, \"/y\": {\"result\": 3}}}");
        // clang-format on
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
        // clang-format off
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");

        QTest::newRow("no jobs") << QStringList{"-j", "0"} << 2 << "--jobs: expected a whole number from 1 to 1024, not \"0\"";
        for (const char *jobs : {"1025", "-3", "2.5", "1e3", "", "four", "99999999999"})
            QTest::newRow(qPrintable(QStringLiteral("-j '%1'").arg(jobs))) << QStringList{"-j", jobs} << 2 << "--jobs: expected";
        QTest::newRow("bad timeout") << QStringList{"--timeout", "soon"} << 2 << "--timeout: expected a number";
        // Each once slipped through: no limit at all, or every plug-in timed out.
        for (const char *timeout : {"nan", "inf", "-inf", "1e10", "0.0001", "0", "-5", "86401"})
            QTest::newRow(qPrintable(QStringLiteral("--timeout %1").arg(timeout)))
                << QStringList{"--timeout", timeout} << 2
                << QStringLiteral("--timeout: expected a number of seconds from 0.1 to 86400, not \"%1\"").arg(timeout);
        QTest::newRow("unknown format") << QStringList{"--format", "vst2,vst9"} << 2 << "--format takes format names separated by ','";
        QTest::newRow("no format") << QStringList{"--format", ","} << 2 << "--format takes at least one of vst2";
        QTest::newRow("Qt's own option") << QStringList{"--help-all"} << 2 << "help-all";
        QTest::newRow("unknown option") << QStringList{"--fast"} << 2 << "fast";
        QTest::newRow("no scanner") << QStringList{"--scanner", "/nonexistent/scanner"} << 2 << "no scanner found";
        QTest::newRow("cache under a file") << QStringList{"--cache", "%L/notes.so/cache.json"} << 3 << "cannot";
        // clang-format on
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

    // Paths given on the command line: a mistyped one is named and not
    // scanned, and the run ends with 1 once the rest is done.
    void givenPaths_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QStringList>("reported");
        QTest::newRow("mistyped file") << QStringList{"%L/nope.so", "%L/effect.so"} << 1
                                       << "ombrel-scan: %L/nope.so: no such file or folder\n"
                                       << QStringList{"%L/effect.so"};
        QTest::newRow("mistyped folder") << QStringList{"%L/nope"} << 1
                                         << "ombrel-scan: %L/nope: no such file or folder\n" << QStringList{};
        QTest::newRow("folder without plug-ins") << QStringList{"%L/sub", "%D/empty"} << 0
                                                 << "ombrel-scan: %D/empty: no plug-in file in this folder\n"
                                                 << QStringList{"%L/sub/deeper/main_only.so"};
        // %D/vst/linked is a link to %L/sub, as a distribution links a vendor folder into its VST folder.
        QTest::newRow("folder given and linked") << QStringList{"%D/vst", "%L/sub"} << 0 << ""
                                                 << QStringList{"%L/sub/deeper/main_only.so"};
        QTest::newRow("folder given, then linked") << QStringList{"%L/sub", "%D/vst"} << 0 << ""
                                                   << QStringList{"%L/sub/deeper/main_only.so"};
        // clang-format on
    }

    void givenPaths()
    {
        QFETCH(QStringList, paths);
        QFETCH(int, exitCode);
        QFETCH(QString, err);
        QFETCH(QStringList, reported);
        QVERIFY(QDir(m_dir.path()).mkpath("empty"));
        QVERIFY(QDir(m_dir.path()).mkpath("vst"));
        QFile::link(m_library + "/sub", m_dir.path() + "/vst/linked");
        paths.replaceInStrings("%L", m_library).replaceInStrings("%D", m_dir.path());
        const Run run = launch(QStringList{"--json", "--timeout", "1", "--cache", cacheFile("given")} + paths);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.err, err.replace("%L", m_library).replace("%D", m_dir.path()));
        QCOMPARE(byPath(run.report).keys(), reported.replaceInStrings("%L", m_library));
    }

    // A failed scan keeps the last 4 KiB of what its process printed, the
    // plug-in's stdout included; --log shows it from the cache, and the
    // table points there with a command that runs as printed.
    void logShowsWhyAScanFailed()
    {
        const QString noisy = m_dir.path() + "/noisy/noisy.so";
        QVERIFY(QDir().mkpath(m_dir.path() + "/noisy"));
        QVERIFY(QFile::copy(testPluginPath("noisy_crash"), noisy));
        const QString cache = cacheFile("log");
        const Run table = launch({"--cache", cache, noisy, m_library + "/no_entry.so"});
        const QStringList tableLines = table.out.split('\n', Qt::SkipEmptyParts);
        QVERIFY(tableLines.last().startsWith("Protection: "));
        const QString hint = tableLines.value(tableLines.size() - 2);
        QVERIFY2(hint.startsWith("Why a plug-in did not end ok: ") && hint.endsWith(" --log '" + noisy + "'"),
                 qPrintable(table.out));
        QProcess pasted;
        pasted.start("/bin/bash", {"-c", hint.section(": ", 1)});
        QVERIFY(pasted.waitForFinished(60000));
        QCOMPARE(pasted.readAllStandardOutput(), launch({"--log", noisy, "--cache", cache}).out.toUtf8());

        const Run json = launch({"--json", "--cache", cache, noisy});
        const QJsonObject result = byPath(json.report).value(noisy);
        QVERIFY(result.value("cached").toBool());
        QStringList lines;
        for (const QJsonValue &line : result.value("lines").toArray())
            lines << line.toString();
        QVERIFY2(lines.size() > 100, qPrintable(lines.join('\n')));
        QCOMPARE(lines.mid(lines.size() - 2), (QStringList{"plug-in line 199 on stdout", "plug-in's last words"}));
        QVERIFY(lines.join('\n').size() < 4096); // bounded, and cut at a line's start:
        QVERIFY(QRegularExpression("^plug-in line \\d+ on stdout$").match(lines.first()).hasMatch());

        const Run log = launch({"--log", noisy, "--cache", cache});
        QCOMPARE(log.exitCode, 0);
        const QString today = QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate);
        QVERIFY2(log.out.startsWith(noisy + "\nformat: vst2\noutcome: crashed (signal 11)\nscanned: " + today)
                     && log.out.endsWith("\n  plug-in line 199 on stdout\n  plug-in's last words\n"),
                 qPrintable(log.out));

        const Run unknown = launch({"--log", m_library + "/effect.so", "--cache", cache});
        QCOMPARE(unknown.exitCode, 1);
        QCOMPARE(unknown.err, "ombrel-scan: " + m_library + "/effect.so: not in the cache " + cache + "\n");
    }

    // --help answers where things are and what is done by default.
    void helpNamesTheDefaults()
    {
        QProcessEnvironment env;
        env.insert("XDG_CACHE_HOME", m_dir.path() + "/xdg-cache");
        const Run help = launch({"--help"}, env);
        QCOMPARE(help.exitCode, 0);
        for (const QString &expected :
             {m_dir.path() + "/xdg-cache/Kestrune/ombrel-scan-cache.json",
              QFileInfo(LAUNCHER_PATH).path() + "/OmbrelPluginScanner", QStringLiteral("VST_PATH"),
              QStringLiteral("/usr/lib/vst"), QStringLiteral("(default: 30)"),
              QStringLiteral("(default: %1,").arg(QThread::idealThreadCount())})
            QVERIFY2(help.out.contains(expected), qPrintable(expected + " not in:\n" + help.out));
        QVERIFY(!help.out.contains("help-all"));
        const Run version = launch({"--version"});
        QCOMPARE(version.exitCode, 0);
        QVERIFY2(QRegularExpression("^ombrel-scan \\d+\\.\\d+\\.\\d+\n$").match(version.out).hasMatch(),
                 qPrintable(version.out));
    }

    void pathVariablesAreTheDefault()
    {
        QProcessEnvironment env;
        env.insert("VST_PATH", m_library + "/sub:" + m_library + "/nonexistent");
        // Every format's variable stands for its usual folders.
        for (const char *variable : {"LADSPA_PATH", "DSSI_PATH"})
            env.insert(variable, m_library + "/nonexistent");
        // A folder named like the format's bundles holds them, is none itself.
        const QString bundles = m_dir.path() + "/home/.lv2";
        const QString bundle = bundles + "/effect.lv2";
        QVERIFY(QDir().mkpath(bundle));
        const QString source = QStringLiteral(TEST_PLUGIN_DIR "/../lv2/effect.lv2");
        for (const QString &name : QDir(source).entryList(QDir::Files))
            QVERIFY(QFile::copy(source + "/" + name, bundle + "/" + name));
        env.insert("LV2_PATH", bundles);
        const Run run = launch({"--json", "--cache", cacheFile("vstpath")}, env);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(byPath(run.report).keys(), (QStringList{bundle, m_library + "/sub/deeper/main_only.so"}));
        QCOMPARE(byPath(run.report).value(bundle).value("outcome").toString(), QStringLiteral("ok"));
    }

    void progressLineOnATerminal()
    {
        if (!QFile::exists("/usr/bin/script"))
            QSKIP("needs script(1) to give the launcher a terminal");
        const QString effect = m_library + "/effect.so";
        QProcess process;
        process.start("/usr/bin/script",
                      {"-qec",
                       QStringLiteral("'%1' --cache '%2' '%3'").arg(LAUNCHER_PATH, cacheFile("terminal"), effect),
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

    void killedLauncherTakesItsScansAlong_data()
    {
        QTest::addColumn<QString>("sandbox");
        QTest::addColumn<int>("runFoldersLeft");
        // In a sandbox the stores are inside it and go with it.
        QTest::newRow("sandbox") << "auto" << 0;
        QTest::newRow("no sandbox") << "off" << 1;
    }

    void killedLauncherTakesItsScansAlong()
    {
#if !defined(Q_OS_LINUX)
        QSKIP("finds the scanner's process through /proc");
#endif
        QFETCH(QString, sandbox);
        QFETCH(int, runFoldersLeft);
        if (sandbox == QLatin1String("auto") && !sandboxHere())
            runFoldersLeft = 1; // what remains without one: private stores outside
        const QString tmp = m_dir.path() + "/tmp-killed-" + sandbox;
        QVERIFY(QDir().mkpath(tmp));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tmp);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(LAUNCHER_PATH,
                      {"--sandbox", sandbox, "--timeout", "600", "--cache", cacheFile("killed" + sandbox),
                       m_library + "/zz_hang.so"});
        QVERIFY(process.waitForStarted());
        qint64 scanner = 0;
        QTRY_VERIFY_WITH_TIMEOUT((scanner = scannerOf(process.processId(), "zz_hang.so")) != 0, 30000);
        ::kill(pid_t(process.processId()), SIGKILL);
        QVERIFY(process.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!running(scanner), 5000);
        QCOMPARE(runFolders(tmp).size(), runFoldersLeft); // the killed launcher's private stores

        // The next run removes them, and keeps its own only while it runs.
        QProcessEnvironment next;
        next.insert("TMPDIR", tmp);
        QCOMPARE(
            launch({"--sandbox", sandbox, "--cache", cacheFile("killed" + sandbox), m_library + "/effect.so"}, next)
                .exitCode,
            0);
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
        // clang-format off
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("message");
        QTest::newRow("full device") << "/dev/full" << 4 << 0 << "cannot write the report to standard output (";
        QTest::newRow("closed pipe") << "" << -1 << int(SIGPIPE) << "";
        // clang-format on
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
        const Run run
            = launch({"--json", "--cache", cacheFile("output"), m_library + "/effect.so"}, {}, "exec >" + output);
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
        copyPlugin("crash_in_open", "crash\x1b[2J'q.so", folder);
        const QString cache = cacheFile("control");
        auto shownPlainly = [](const QByteArray &text) {
            return std::all_of(text.begin(), text.end(), [](char c) { return uchar(c) >= 0x20 || c == '\n'; });
        };
        QProcess table;
        table.start(LAUNCHER_PATH, {"--cache", cache, folder});
        QVERIFY(table.waitForFinished(60000));
        const QByteArray text = table.readAllStandardOutput();
        QCOMPARE(text.count('\n'), 6); // header, two rows, summary, where to look, protection
        QVERIFY2(shownPlainly(text), text.constData());
        QVERIFY2(text.contains("Evil\\x1b[2J\\x1b[31mRed") && text.contains("Ven\\tdor\\nforged row\\r")
                     && text.contains("evil\\x1b[2J.so"),
                 text.constData());
        // The hint can be pasted into a shell as it stands.
        QVERIFY2(text.contains("--log '" + folder.toUtf8() + "/crash\\x1b[2J'\\''q.so'"), text.constData());
        for (const char *file : {"evil\x1b[2J.so", "crash\x1b[2J'q.so"}) {
            QProcess log;
            log.start(LAUNCHER_PATH, {"--cache", cache, "--log", folder + "/" + file});
            QVERIFY(log.waitForFinished(60000));
            const QByteArray shown = log.readAllStandardOutput();
            QVERIFY2(!shown.isEmpty() && shownPlainly(shown), shown.constData());
        }

        const QJsonObject plugin = byPath(launch({"--json", "--cache", cache, folder}).report)
                                       .value(folder + "/evil\x1b[2J.so")
                                       .value("descriptions")
                                       .toArray()
                                       .at(0)
                                       .toObject();
        QCOMPARE(plugin.value("name").toString(), QStringLiteral("Evil\x1b[2J\x1b[31mRed"));
        QCOMPARE(plugin.value("vendor").toString(), QStringLiteral("Ven\tdor\nforged row\r"));
    }

    // A process the plug-in leaves behind ends with its scan, even one that
    // ended on its own, and so holds nothing of the launcher's.
    void plugInChildrenEndWithTheScan()
    {
#if !defined(Q_OS_LINUX)
        QSKIP("looks at the child through /proc");
#endif
        const QString trace = m_dir.path() + "/spawn-trace";
        QProcessEnvironment env;
        env.insert("OMBREL_TEST_TRACE", trace);
        // Outside a sandbox, where the trace file can be reached (the
        // sandbox tests see to the rest).
        const Run run
            = launch({"--json", "--sandbox", "off", "--cache", cacheFile("spawn"), testPluginPath("spawn_child")}, env);
        QCOMPARE(run.exitCode, 0);
        QFile file(trace);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray lines = file.readAll();
        const int at = lines.indexOf("child ");
        QVERIFY2(at >= 0, lines.constData());
        const qint64 child = lines.mid(at + 6, lines.indexOf('\n', at) - at - 6).toLongLong();
        QVERIFY(child > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!running(child), 5000);
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
        QVERIFY(QFile::setPermissions(open.path(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                          | QFileDevice::ReadOther | QFileDevice::ExeOther | QFileDevice::WriteOther));
        const QString walk = open.path() + "/walk";
        copyPlugin("good_effect", "real/a.so", walk);
        copyPlugin("good_effect", "vendor/b.so", open.path());
        copyPlugin("good_effect", "locked/c.so", walk);
        QVERIFY(QFile::link(walk + "/real", walk + "/a-link"));           // sorts first, walked as real/
        QVERIFY(QFile::link(open.path() + "/vendor", walk + "/outside")); // only reachable so
        QVERIFY(QFile::link(walk, walk + "/real/loop"));
        QVERIFY(QFile::copy(testPluginPath("good_effect"), walk + "/bad.so"));
        const QByteArray badName = QFile::encodeName(walk).append("/caf\xe9.so");
        QVERIFY(::rename(QFile::encodeName(walk + "/bad.so").constData(), badName.constData()) == 0);
        // Qt cannot name this file to remove it with the folder.
        auto removeBadName = qScopeGuard([&badName] { ::unlink(badName.constData()); });
        QVERIFY(QFile::setPermissions(walk + "/locked", QFileDevice::Permissions()));
        const QString cache = open.path() + "/cache.json";
        if (!runAs.isEmpty()) {
            // The build tree may lie where nobody cannot reach (under /root):
            // nobody runs copies of the launcher and, beside it, the scanner.
            QVERIFY(QDir().mkpath(open.path() + "/bin"));
            QVERIFY(QFile::copy(LAUNCHER_PATH, open.path() + "/bin/ombrel-scan"));
            QVERIFY(QFile::copy(SCANNER_PATH, open.path() + "/bin/OmbrelPluginScanner"));
            const auto everyone
                = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther;
            QVERIFY(QFile::setPermissions(open.path() + "/bin", everyone | QFileDevice::WriteOwner));
            QVERIFY(QFile::setPermissions(open.path() + "/bin/ombrel-scan", everyone));
            QVERIFY(QFile::setPermissions(open.path() + "/bin/OmbrelPluginScanner", everyone));
            runAs << open.path() + "/bin/ombrel-scan";
        }

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
        QVERIFY(run.err.isEmpty());    // no progress line when stderr is not a terminal
        QVERIFY(run.report.isEmpty()); // a table, not JSON
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        // Header, two rows, summary, protection; banned is no failure to look into.
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.at(3), QStringLiteral("2 files: 1 ok, 1 banned (2 scanned, 0 from the cache); 1 plug-in found"));
        QVERIFY(lines.at(4).startsWith("Protection: "));
        // A run that scanned nothing vouches for no protection.
        const Run one = launch({"--cache", cacheFile("table"), m_library + "/effect.so"});
        QVERIFY2(one.out.endsWith("\n1 file: 1 ok (0 scanned, 1 from the cache); 1 plug-in found\n"),
                 qPrintable(one.out));
    }

    // One long cause must not widen every row past the terminal's edge;
    // written to a file, the table keeps every cell whole.
    void tableKeepsToTheTerminalWidth()
    {
        const QString cause = "not-a-plugin: no VST 2 entry point: probably a library plug-ins load";
        const QStringList args = {"--cache", cacheFile("width"), m_library + "/effect.so", m_library + "/no_entry.so"};
        QProcessEnvironment narrow;
        narrow.insert("COLUMNS", "100");
        const QStringList rows = launch(args, narrow).out.split('\n').mid(0, 3);
        for (const QString &row : rows)
            QVERIFY2(row.size() <= 100, qPrintable(rows.join('\n')));
        QVERIFY2(rows.at(2).contains(QStringLiteral(" not-a-plugi\u2026")), qPrintable(rows.at(2)));
        QProcessEnvironment unlimited;
        unlimited.insert("COLUMNS", "0");
        QVERIFY(launch(args, unlimited).out.contains(cause));
    }

    void fitTable_data()
    {
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<int>("width");
        QTest::addColumn<QStringList>("lines");
        const QList<QStringList> table = {{"name", "outcome", "path"},
                                          {"Gain", "ok", "/p/gain.so"},
                                          {"-", "not-a-plugin: no entry point", "/p/core.so"}};
        QTest::newRow("no limit") << table << 0
                                  << QStringList{"name  outcome                       path",
                                                 "Gain  ok                            /p/gain.so",
                                                 "-     not-a-plugin: no entry point  /p/core.so"};
        QTest::newRow("wide enough") << table << 46
                                     << QStringList{"name  outcome                       path",
                                                    "Gain  ok                            /p/gain.so",
                                                    "-     not-a-plugin: no entry point  /p/core.so"};
        // The outcome gives way before the path, down to its minimum.
        QTest::newRow("outcome cut") << table << 34
                                     << QStringList{"name  outcome           path",
                                                    "Gain  ok                /p/gain.so",
                                                    "-     not-a-plugin: n…  /p/core.so"};
        // Then the path, keeping its end; then nothing more.
        QTest::newRow("path cut") << table << 27
                                  << QStringList{"name  outcome       path", "Gain  ok            …ain.so",
                                                 "-     not-a-plugi…  …ore.so"};
        QTest::newRow("too narrow") << table << 10
                                    << QStringList{"name  outcome       path", "Gain  ok            …ain.so",
                                                   "-     not-a-plugi…  …ore.so"};
    }

    void fitTable()
    {
        QFETCH(QList<QStringList>, rows);
        QFETCH(int, width);
        QFETCH(QStringList, lines);
        const QVector<ColumnFit> fits = {{}, {1, 12}, {2, 7, ColumnFit::End}};
        QCOMPARE(ombrel::fitTable(rows, fits, width), lines);
    }

    // A run that named nothing and found nothing says where it looked,
    // per format, and how to name a folder.
    void nothingFoundSaysWhereItLooked()
    {
        QProcessEnvironment env;
        env.insert("VST_PATH", m_dir.path() + "/empty:" + m_dir.path() + "/absent");
        env.insert("COLUMNS", "0");
        QVERIFY(QDir(m_dir.path()).mkpath("empty"));
        const Run run = launch({"--format", "vst2", "--cache", cacheFile("nothing")}, env);
        QCOMPARE(run.exitCode, 0);
        const QString expected = QStringLiteral("0 files: none (0 scanned, 0 from the cache)\n"
                                                "No plug-in found in the folders searched:\n"
                                                "  vst2 plug-ins, the folders in VST_PATH:\n"
                                                "    %1/empty   holds no plug-in\n"
                                                "    %1/absent  does not exist\n"
                                                "To scan a folder, name it: ombrel-scan /path/to/plug-ins; or "
                                                "list folders in VST_PATH, separated by ':'.\n")
                                     .arg(m_dir.path());
        QVERIFY2(run.out.endsWith(expected), qPrintable(run.out));
        // Named, an empty folder is told on stderr as before; no note.
        QVERIFY(!launch({"--cache", cacheFile("nothing"), m_dir.path() + "/empty"}).out.contains("No plug-in found"));
        // A second format lists its own folders and variable.
        const QString two = nothingFoundNote(
            {{"VST 2", "VST_PATH", false, {{"/a", false}}}, {"CLAP", "CLAP_PATH", true, {{"/b", true}}}});
        QVERIFY2(two.contains("  CLAP plug-ins, the folders in CLAP_PATH:\n    /b  holds no plug-in\n")
                     && two.contains("the usual folders (VST_PATH is not set):\n    /a  does not exist\n")
                     && two.contains("list folders in VST_PATH, CLAP_PATH,"),
                 qPrintable(two));
    }

    // What a file's dynamic symbols say, without loading it.
    void entryPointsFromTheSymbolTable_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("keepBytes"); // -1: all of it
        QTest::addColumn<int>("expected");  // an ElfEntryPoints
        // clang-format off
        QTest::newRow("VSTPluginMain") << testPluginPath("good_effect") << -1 << int(ElfEntryPoints::Exported);
        QTest::newRow("main alone") << testPluginPath("main_only") << -1 << int(ElfEntryPoints::Exported);
        QTest::newRow("neither") << testPluginPath("no_entry_point") << -1 << int(ElfEntryPoints::NotExported);
        QTest::newRow("a program") << QStringLiteral(SCANNER_PATH) << -1 << int(ElfEntryPoints::NotALibrary);
        // The section headers lie at the end: cut off, nothing can be told.
        QTest::newRow("cut short") << testPluginPath("good_effect") << 4096 << int(ElfEntryPoints::Unknown);
        QTest::newRow("header only") << testPluginPath("good_effect") << 64 << int(ElfEntryPoints::Unknown);
        QTest::newRow("text") << m_library + "/notes.so" << -1 << int(ElfEntryPoints::Unknown);
        // clang-format on
    }

    void entryPointsFromTheSymbolTable()
    {
        QFETCH(QString, file);
        QFETCH(int, keepBytes);
        QFETCH(int, expected);
        QFile source(file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        QBuffer copy;
        copy.setData(keepBytes < 0 ? source.readAll() : source.read(keepBytes));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(int(elfEntryPoints(&copy)), expected);
    }

    // The verdict on each way a scanner can end, with a stand-in scanner
    // that ends exactly so.
    void verdictOnScannerEnds_data()
    {
        // clang-format off
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("exitCode");

        QTest::newRow("exit code never given") << "exit 42" << "failed" << 42;
        QTest::newRow("banned code, never given") << "exit 2" << "failed" << 2;
        QTest::newRow("ended without a status line") << "exit 0" << "failed" << 0; // the plug-in's _exit(0)
        // It said it wrote the record: not finding it is ours (-1: a reason, no code).
        QTest::newRow("OK without a group") << "echo '\"OK\"' >&2; exit 0" << "failed" << -1;
        QTest::newRow("not found") << "exit 3" << "missing" << 3;
        QTest::newRow("ban line, then 5") << "echo \"\\\"$1\\\"  : plugin dll is in ban list!\" >&2; exit 5"
                                          << "banned" << 5;
        QTest::newRow("5 alone") << "exit 5" << "not-a-plugin" << 5;
        QTest::newRow("killed by a signal") << "kill -ABRT $$" << "crashed" << 0;
        // clang-format on
    }

    void verdictOnScannerEnds()
    {
        QFETCH(QString, script);
        QFETCH(QString, outcome);
        QFETCH(int, exitCode);
        const QString scanner = standIn(script);
        const Run run = launch(
            {"--json", "--rescan", "--scanner", scanner, "--cache", cacheFile("stand-in"), m_library + "/effect.so"});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject plugin = byPath(run.report).value(m_library + "/effect.so");
        QCOMPARE(plugin.value("outcome").toString(), outcome);
        if (outcome == "failed" && exitCode >= 0) {
            QCOMPARE(plugin.value("exitCode").toInt(), exitCode);
            QVERIFY(!plugin.contains("reason")); // the plug-in's doing: cached like any result
        }
        if (outcome == "failed" && exitCode < 0)
            QVERIFY(plugin.contains("reason") && !plugin.contains("exitCode"));
        if (outcome == "crashed")
            QCOMPARE(plugin.value("signal").toInt(), int(SIGABRT));
    }

    // Real output of every outcome against the schemas that hosts read:
    // the real scanner on the library, stand-ins for the ends it never has.
    void outputMatchesSchema()
    {
        if (QStringLiteral(PYTHON3).isEmpty())
            QSKIP("needs python3 with python3-jsonschema");
        QStringList reports{writeFile("schema-library.json", scanLibrary(cacheFile("schema")).out)};
        QStringList caches{cacheFile("schema")};
        for (const QString &script : {QStringLiteral("exit 3"), QStringLiteral("exit 42")}) {
            const QString cache = cacheFile("schema-" + QString::number(qHash(script)));
            const Run run
                = launch({"--json", "--scanner", standIn(script), "--cache", cache, m_library + "/effect.so"});
            reports << writeFile("report-" + QString::number(qHash(script)) + ".json", run.out);
            caches << cache;
        }
        // Other formats' descriptions, with the fields only they fill.
        reports << writeFile("report-formats.json",
                             launch({"--json", "--format", "ladspa,lv2", "--cache", cacheFile("schema-formats"),
                                     QStringLiteral(TEST_PLUGIN_DIR "/../ladspa/ladspa_plugins.so"),
                                     QStringLiteral(TEST_PLUGIN_DIR "/../lv2/effect.lv2")})
                                 .out);
        caches << cacheFile("schema-formats");
        // A 64-bit ARM library: no installed scanner loads it, none is started.
        QByteArray arm = QByteArray("\177ELF\2\1") + QByteArray(58, '\1');
        const QString foreign = writeFile("arm64.so", arm.replace(18, 2, QByteArray("\xb7\0", 2)));
        reports << writeFile("report-foreign.json",
                             launch({"--json", "--cache", cacheFile("schema-foreign"), foreign}).out);
        caches << cacheFile("schema-foreign");
#if !defined(OMBREL_SANITIZED) // whose shadow memory no data limit leaves room for
        // A plug-in that eats memory, under a limit it soon hits.
        copyPlugin("abuse_eat_memory", "eat.so", m_dir.path() + "/eat");
        reports << writeFile("report-eat.json",
                             launch({"--json", "--memory-limit", "64M", "--cache", cacheFile("schema-eat"),
                                     m_dir.path() + "/eat/eat.so"})
                                 .out);
        caches << cacheFile("schema-eat");
#endif
        // A name that is not UTF-8: reported, never scanned.
        const QString odd = m_dir.path() + "/odd";
        QVERIFY(QDir().mkpath(odd));
        const int bad = ::creat(QFile::encodeName(odd).append("/caf\xe9.so").constData(), 0644);
        QVERIFY(bad >= 0);
        ::close(bad);
        reports << writeFile("report-odd.json", launch({"--json", "--cache", cacheFile("schema-odd"), odd}).out);
        ::unlink(QFile::encodeName(odd).append("/caf\xe9.so").constData()); // Qt could not remove it
        const Run lines
            = launch({"--json-lines", "--rescan", "--timeout", "1", "--cache", cacheFile("schema"), m_library});
        QStringList seen = validate("report", reports) + validate("cache", caches);
        QCOMPARE(validate("lines", {writeFile("schema-library.jsonl", lines.out)}),
                 validate("report", reports.mid(0, 1)));
        seen.removeDuplicates();
        seen.sort();
        QStringList all;
        for (ScanOutcome outcome : allOutcomes())
            all << outcomeName(outcome);
#if defined(OMBREL_SANITIZED)
        all.removeOne(QStringLiteral("memory-limit"));
#endif
        all.sort();
        QCOMPARE(seen, all);
    }
};

QTEST_GUILESS_MAIN(LauncherTest)
#include "tst_launcher.moc"
