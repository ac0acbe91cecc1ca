// The scanner as a host sees it: exit status and code, the exact lines on
// standard error, and the INI store read back with QSettings.

#include "common/scannerrun.h"

#include "contract/settingskey.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

// Rows name these instead of a built plug-in.
const QString kNoArgument = QStringLiteral("<no argument>");
const QString kMissing = QStringLiteral("<missing>");
const QString kDirectory = QStringLiteral("<directory>");
const QString kTextFile = QStringLiteral("<text file>");
const QString kFifo = QStringLiteral("<fifo>");
const QString kLinkToFifo = QStringLiteral("<link to a fifo>");
const QString kLinkToPlugin = QStringLiteral("<link to good_effect>");

// A scan takes well under a second; one still running after this hangs.
constexpr int kHangBoundMs = 15000;

QStringList okLines(const QString &name)
{
    return {QStringLiteral("scanning plugin \"%P\""), QStringLiteral("\"%P\" \"") + name + QLatin1Char('"'),
            QStringLiteral("\"OK\"")};
}

const QStringList kUnknownFailureLines
    = {QStringLiteral("scanning plugin \"%P\""), QStringLiteral("\"Unknown failure state\"")};
const QStringList kBannedLines
    = {QStringLiteral("scanning plugin \"%P\""), QStringLiteral("\"%P\"  : plugin dll is in ban list!"),
       QStringLiteral("\"Unknown failure state\"")};
const QStringList kUnspecifiedFailureLines
    = {QStringLiteral("scanning plugin \"%P\""), QStringLiteral("\"Unspecified failure\"")};

// The seven keys of a group, in writing order, as "key=value".
QStringList group(const QString &name, const QString &vendor, bool instrument, int ins = 3, int outs = 5)
{
    return {QStringLiteral("name=") + name,
            QStringLiteral("pluginfn=%P"),
            QStringLiteral("instrument=") + (instrument ? QStringLiteral("true") : QStringLiteral("false")),
            QStringLiteral("vendor=") + vendor,
            QStringLiteral("inchans=") + QString::number(ins),
            QStringLiteral("outchans=") + QString::number(outs),
            QStringLiteral("type=VST")};
}

QStringList effectGroup(const QString &name, const QString &vendor = QStringLiteral("Kestrune Tests"))
{
    return group(name, vendor, false);
}

const QString kEffectTrace = QStringLiteral("entry open name vendor product close unload");

QStringList substituted(QStringList lines, const QString &path)
{
    return lines.replaceInStrings(QStringLiteral("%P"), path);
}

QString readTrace(const QString &file)
{
    QFile trace(file);
    if (!trace.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(trace.readAll()).simplified();
}

QProcessEnvironment traceEnv(const QString &file)
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("OMBREL_TEST_TRACE"), file);
    return env;
}

} // namespace

class ScannerTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // Places what a row names at dir/placeAs and returns its path; the
    // built plug-in itself when placeAs is empty.
    QString preparePath(const QString &plugin, const QString &placeAs)
    {
        if (placeAs.isEmpty())
            return testPluginPath(plugin);
        const QString path = m_dir.path() + QStringLiteral("/files/") + placeAs;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile::remove(path);
        if (plugin == kDirectory) {
            QDir().mkpath(path);
        } else if (plugin == kTextFile) {
            QFile text(path);
            if (text.open(QIODevice::WriteOnly))
                text.write("not a library\n");
        } else if (plugin == kFifo) {
            mkfifo(QFile::encodeName(path).constData(), 0600);
        } else if (plugin == kLinkToFifo || plugin == kLinkToPlugin) {
            const QString target = plugin == kLinkToFifo ? kFifo : QStringLiteral("good_effect");
            QFile::link(preparePath(target, placeAs + QStringLiteral(".target")), path);
        } else if (plugin != kMissing) {
            QFile::copy(testPluginPath(plugin), path);
        }
        return path;
    }

    // A successful scan of another plug-in, so that every row also shows
    // what it leaves of the previous run's store.
    void seedStore(const QString &configHome, const QString &placeAs = QStringLiteral("seed/Seed.so"))
    {
        const QString seed = preparePath(QStringLiteral("good_effect"), placeAs);
        const ScanRun run = runScanner({seed}, configHome);
        QCOMPARE(run.exitCode, 0);
        QVERIFY(readStore(configHome).contains(settingsKeyForPath(seed)));
    }

    static QByteArray fileBytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void scan_data()
    {
        // clang-format off
        QTest::addColumn<QString>("plugin");
        QTest::addColumn<QString>("placeAs");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("trace");

        const QStringList none;
        const QString u = QString::fromUtf8("Ünïcode \xF0\x9D\x84\x9E gain.so"); // U+1D11E beyond the BMP

        QTest::newRow("no argument") << kNoArgument << QString() << 1
            << QStringList{QStringLiteral("no plugin file given to helper process")} << none << QString();
        QTest::newRow("missing file") << kMissing << QStringLiteral("gone.so") << 3
            << QStringList{QStringLiteral("scanning plugin \"%P\""), QStringLiteral("\"Plugin binary file not found\"")}
            << none << QString();
        QTest::newRow("missing file in banned folder") << kMissing << QStringLiteral("Kontakt/gone.so") << 3
            << QStringList{QStringLiteral("scanning plugin \"%P\""), QStringLiteral("\"Plugin binary file not found\"")}
            << none << QString();
        QTest::newRow("banned folder") << QStringLiteral("good_effect") << QStringLiteral("Kontakt/k.so") << 5
            << kBannedLines << none << QString();
        QTest::newRow("banned, upper case") << QStringLiteral("good_effect") << QStringLiteral("KONTAKT 5.so") << 5
            << kBannedLines << none << QString();
        QTest::newRow("banned, entry with spaces") << QStringLiteral("good_effect")
            << QStringLiteral("fl studio vsti (multi).so") << 5 << kBannedLines << none << QString();
        QTest::newRow("banned, last entry") << QStringLiteral("good_effect") << QStringLiteral("VstBoard64.so") << 5
            << kBannedLines << none << QString();
        QTest::newRow("not a library") << kTextFile << QStringLiteral("notes.so") << 5
            << kUnknownFailureLines << none << QString();
        QTest::newRow("directory") << kDirectory << QStringLiteral("Folder.so") << 5
            << kUnknownFailureLines << none << QString();
        QTest::newRow("fifo") << kFifo << QStringLiteral("fifo.so") << 5 << kUnknownFailureLines << none << QString();
        QTest::newRow("link to a fifo") << kLinkToFifo << QStringLiteral("fifo link.so") << 5
            << kUnknownFailureLines << none << QString();
        QTest::newRow("link to a plug-in") << kLinkToPlugin << QStringLiteral("link.so") << 0
            << okLines(QStringLiteral("Test Effect")) << effectGroup(QStringLiteral("Test Effect")) << kEffectTrace;
        QTest::newRow("no entry point") << QStringLiteral("no_entry_point") << QString() << 5
            << kUnknownFailureLines << none << QStringLiteral("unload");
        QTest::newRow("entry returns null") << QStringLiteral("entry_returns_null") << QString() << 5
            << kUnknownFailureLines << none << QStringLiteral("entry unload");
        QTest::newRow("effect") << QStringLiteral("good_effect") << QString() << 0
            << okLines(QStringLiteral("Test Effect")) << effectGroup(QStringLiteral("Test Effect")) << kEffectTrace;
        QTest::newRow("both entry points") << QStringLiteral("both_entry_points") << QString() << 0
            << okLines(QStringLiteral("via VSTPluginMain")) << effectGroup(QStringLiteral("via VSTPluginMain"))
            << kEffectTrace;
        QTest::newRow("main only") << QStringLiteral("main_only") << QString() << 0
            << okLines(QStringLiteral("via main")) << effectGroup(QStringLiteral("via main")) << kEffectTrace;
        QTest::newRow("instrument") << QStringLiteral("instrument") << QStringLiteral("Synth.dll") << 0
            << okLines(QStringLiteral("Synth.dll")) << group(QStringLiteral("Synth.dll"), QString(), true)
            << QStringLiteral("entry open close unload");
        QTest::newRow("product name only") << QStringLiteral("product_name_only") << QString() << 0
            << okLines(QStringLiteral("Foo")) << effectGroup(QStringLiteral("Foo")) << kEffectTrace;
        QTest::newRow("no names") << QStringLiteral("no_names") << QStringLiteral("Bar.Baz.dll") << 0
            << okLines(QStringLiteral("Bar")) << effectGroup(QStringLiteral("Bar")) << kEffectTrace;
        QTest::newRow("no names, dot file") << QStringLiteral("no_names") << QStringLiteral(".hidden.so") << 5
            << kUnknownFailureLines << none << kEffectTrace;
        QTest::newRow("callbacks from entry point") << QStringLiteral("callback_probe") << QString() << 0
            << okLines(QStringLiteral("version=2400 level=1 time=same others=0"))
            << effectGroup(QStringLiteral("version=2400 level=1 time=same others=0")) << kEffectTrace;
        QTest::newRow("callbacks from threads") << QStringLiteral("threaded_callbacks") << QString() << 0
            << okLines(QStringLiteral("time=same")) << effectGroup(QStringLiteral("time=same")) << kEffectTrace;
        QTest::newRow("names without terminating zero") << QStringLiteral("unterminated_names") << QString() << 0
            << okLines(QString(256, QLatin1Char('N')))
            << effectGroup(QString(256, QLatin1Char('N')), QString(256, QLatin1Char('V'))) << kEffectTrace;
        QTest::newRow("latin-1 names") << QStringLiteral("latin1_names") << QString() << 0
            << okLines(QString::fromUtf8("Café µ-Gain"))
            << effectGroup(QString::fromUtf8("Café µ-Gain"), QString::fromUtf8("Müller & Söhne")) << kEffectTrace;
        QTest::newRow("quote and backslash in path") << QStringLiteral("good_effect")
            << QStringLiteral("a \"quoted\" back\\slash.so") << 0 << okLines(QStringLiteral("Test Effect"))
            << effectGroup(QStringLiteral("Test Effect")) << kEffectTrace;
        QTest::newRow("path beyond the basic plane") << QStringLiteral("good_effect") << u << 0
            << okLines(QStringLiteral("Test Effect")) << effectGroup(QStringLiteral("Test Effect")) << kEffectTrace;
        // clang-format on
    }

    void scan()
    {
        QFETCH(QString, plugin);
        QFETCH(QString, placeAs);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, stored);
        QFETCH(QString, trace);

        QTemporaryDir config;
        seedStore(config.path());
        const QString traceFile = config.path() + QStringLiteral("/trace");

        QStringList args;
        QString path;
        if (plugin != kNoArgument) {
            path = preparePath(plugin, placeAs);
            args << path;
        }
        const ScanRun run = runScanner(args, config.path(), traceEnv(traceFile), QString(), kHangBoundMs);

        QVERIFY2(!run.timedOut, "the scanner hung and was killed");
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.stderrLines, substituted(lines, path));
        QCOMPARE(run.stdoutBytes, QByteArray());
        QCOMPARE(readTrace(traceFile), trace);

        // Whatever the outcome, the previous run's group is gone.
        const StoreContents store = readStore(config.path());
        if (stored.isEmpty()) {
            QVERIFY2(store.isEmpty(), qPrintable(store.keys().join(QLatin1Char(' '))));
            QVERIFY(QFile::exists(storeFilePath(config.path())));
            return;
        }
        QCOMPARE(store.keys(), QStringList{settingsKeyForPath(path)});
        QStringList actual;
        for (const QString &key :
             {QStringLiteral("name"), QStringLiteral("pluginfn"), QStringLiteral("instrument"),
              QStringLiteral("vendor"), QStringLiteral("inchans"), QStringLiteral("outchans"), QStringLiteral("type")})
            actual << key + QLatin1Char('=') + store.first().value(key);
        QCOMPARE(actual, substituted(stored, path));
        QCOMPARE(store.first().size(), 7);
    }

    void onlyTheFirstArgumentIsScanned()
    {
        QTemporaryDir config;
        const QString path = testPluginPath(QStringLiteral("good_effect"));
        const ScanRun run = runScanner(
            {path, QStringLiteral("/nonexistent.so"), testPluginPath(QStringLiteral("main_only"))}, config.path());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.stderrLines, substituted(okLines(QStringLiteral("Test Effect")), path));
        QCOMPARE(readStore(config.path()).keys(), QStringList{settingsKeyForPath(path)});
    }

    void relativePathLoadsTheFileGiven()
    {
        // The record and group key keep the path as given; the library
        // loaded is the file in the working directory, not a namesake
        // found on the loader's search path.
        QTemporaryDir config;
        const QString relative = QStringLiteral("Relative Gain.so");
        preparePath(QStringLiteral("good_effect"), QStringLiteral("rel/") + relative);
        const ScanRun run
            = runScanner({relative}, config.path(), QProcessEnvironment(), m_dir.path() + QStringLiteral("/files/rel"));
        QCOMPARE(run.exitCode, 0);
        const StoreContents store = readStore(config.path());
        QCOMPARE(store.keys(), QStringList{settingsKeyForPath(relative)});
        QCOMPARE(store.first().value(QStringLiteral("pluginfn")), relative);
    }

    void crashLeavesThePreviousStoreUntouched()
    {
        QTemporaryDir config;
        seedStore(config.path());
        QFile file(storeFilePath(config.path()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        const QString path = testPluginPath(QStringLiteral("crash_in_open"));
        // The sanitizer would otherwise turn the fault into a normal exit.
        const ScanRun run = runScanner({path}, config.path(), asanOptions(QStringLiteral("handle_segv=0")));
        QCOMPARE(run.exitStatus, QProcess::CrashExit);
        QCOMPARE(run.stderrLines, QStringList{QStringLiteral("scanning plugin \"") + path + QLatin1Char('"')});

        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    // A plug-in that ends the process is never a success, and never leaves
    // a group of its own path from an earlier run. The store is seeded with
    // a scan of the same path (of a good plug-in) or of another path.
    void pluginEndsTheRun_data()
    {
        // clang-format off
        QTest::addColumn<QString>("plugin");
        QTest::addColumn<bool>("seedSamePath");
        QTest::addColumn<int>("exitCode"); // -1: dies by a signal
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("storeUnchanged"); // else it holds no group

        const QStringList scanning{QStringLiteral("scanning plugin \"%P\"")};
        for (const char *variant : {"exit_0_in_entry", "exit_3_in_entry", "quick_exit_in_entry", "exit_0_in_open",
                                    "exit_3_in_open", "quick_exit_in_open"})
            QTest::newRow(variant) << QString::fromLatin1(variant) << false << 4 << kUnspecifiedFailureLines << true;
        QTest::newRow("exit(0), same path seeded") << QStringLiteral("exit_0_in_entry") << true << 4
                                                   << kUnspecifiedFailureLines << false;
        QTest::newRow("crash, same path seeded") << QStringLiteral("crash_in_open") << true << -1 << scanning << false;
        QTest::newRow("_exit(0), same path") << QStringLiteral("hard_exit_in_open") << true << 0 << scanning << false;
        QTest::newRow("_exit(0), other path") << QStringLiteral("hard_exit_in_open") << false << 0 << scanning << true;
        // clang-format on
    }

    void pluginEndsTheRun()
    {
        QFETCH(QString, plugin);
        QFETCH(bool, seedSamePath);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        QFETCH(bool, storeUnchanged);

        QTemporaryDir config;
        const QString placeAs = QStringLiteral("ends/Plugin.so");
        seedStore(config.path(), seedSamePath ? placeAs : QStringLiteral("seed/Seed.so"));
        const QString path = preparePath(plugin, placeAs);
        const QByteArray before = fileBytes(storeFilePath(config.path()));

        // The sanitizer would otherwise turn the fault into a normal exit.
        const ScanRun run = runScanner({path}, config.path(), asanOptions(QStringLiteral("handle_segv=0")));
        QCOMPARE(run.exitStatus, exitCode < 0 ? QProcess::CrashExit : QProcess::NormalExit);
        if (exitCode >= 0)
            QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.stderrLines, substituted(lines, path));
        if (storeUnchanged)
            QCOMPARE(fileBytes(storeFilePath(config.path())), before);
        else
            QCOMPARE(readStore(config.path()), StoreContents());
    }

    // The lines are the scanner's interface: no logging rule, rules file or
    // message pattern of the user's may silence or decorate them.
    void linesWhateverTheLoggingSetup_data()
    {
        // clang-format off
        QTest::addColumn<QString>("plugin");
        QTest::addColumn<QStringList>("environment"); // NAME=value
        QTest::addColumn<QString>("rulesFile");       // in "home" or "dirs", with these rules
        QTest::addColumn<QStringList>("lines");

        const QString good = QStringLiteral("good_effect");
        const QStringList ok = okLines(QStringLiteral("Test Effect"));
        QTest::newRow("all debug off") << good << QStringList{QStringLiteral("QT_LOGGING_RULES=*.debug=false")}
                                       << QString() << ok;
        QTest::newRow("default debug off, pattern") << good
            << QStringList{QStringLiteral("QT_LOGGING_RULES=default.debug=false"),
                           QStringLiteral("QT_MESSAGE_PATTERN=[%{type}] %{function}: %{message}")}
            << QString() << ok;
        QTest::newRow("user's qtlogging.ini") << good << QStringList() << QStringLiteral("home/*.debug=false") << ok;
        QTest::newRow("system qtlogging.ini") << good << QStringList() << QStringLiteral("dirs/default.debug=false")
                                              << ok;
        // Qt's own warnings, and those of plug-ins built on Qt, keep Qt's
        // output, but never abort the scan.
        QTest::newRow("fatal warnings") << QStringLiteral("qt_warning_in_open")
            << QStringList{QStringLiteral("QT_FATAL_WARNINGS=1")} << QString()
            << QStringList{ok.at(0), QStringLiteral("a warning from the plug-in"), ok.at(1), ok.at(2)};
        // clang-format on
    }

    void linesWhateverTheLoggingSetup()
    {
        QFETCH(QString, plugin);
        QFETCH(QStringList, environment);
        QFETCH(QString, rulesFile);
        QFETCH(QStringList, lines);

        QTemporaryDir config;
        QProcessEnvironment env;
        for (const QString &setting : environment)
            env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
        const QString dir = config.path() + QLatin1Char('/') + rulesFile.section(QLatin1Char('/'), 0, 0);
        if (!rulesFile.isEmpty()) {
            QVERIFY(QDir().mkpath(dir + QStringLiteral("/QtProject")));
            QFile rules(dir + QStringLiteral("/QtProject/qtlogging.ini"));
            QVERIFY(rules.open(QIODevice::WriteOnly));
            rules.write("[Rules]\n" + rulesFile.section(QLatin1Char('/'), 1).toLatin1() + '\n');
        }
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), config.path() + QStringLiteral("/dirs"));
        const QString path = testPluginPath(plugin);
        const ScanRun run = runScanner({path}, config.path() + QStringLiteral("/home"), env);
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.stderrLines, substituted(lines, path));
    }

    void unwritableStoreIsNoSuccess()
    {
        // A config home below a regular file: the store cannot be created,
        // even by root, and the host would find no group.
        QTemporaryDir dir;
        QFile blocker(dir.path() + QStringLiteral("/file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString path = testPluginPath(QStringLiteral("good_effect"));
        const ScanRun run = runScanner({path}, blocker.fileName() + QStringLiteral("/config"));
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 6);
        QStringList lines = okLines(QStringLiteral("Test Effect"));
        lines.last() = QStringLiteral("\"Error\"");
        QCOMPARE(run.stderrLines, substituted(lines, path));
    }

    void storeWritesInstrumentAsWord()
    {
        QTemporaryDir config;
        runScanner({testPluginPath(QStringLiteral("instrument"))}, config.path());
        QFile file(storeFilePath(config.path()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("\ninstrument=true\n"));
    }
};

QTEST_GUILESS_MAIN(ScannerTest)
#include "tst_scanner.moc"
