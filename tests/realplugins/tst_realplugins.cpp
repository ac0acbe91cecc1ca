// Real plug-ins from Debian's packages, scanned as a host would scan them.
// Skipped where the packages are not installed; CI installs them.

#include "common/scannerrun.h"

#include "contract/settingskey.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// What a third-party plug-in leaks is not the scanner's to answer for.
const QProcessEnvironment kIgnorePluginLeaks = asanOptions(QStringLiteral("detect_leaks=0"));

// The distribution's plug-ins are built for the machine's own word size; a
// 32-bit scanner cannot load them, which is no fault of the scanner.
bool loadableBySameWidth(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(5);
    const char elfClass = sizeof(void *) == 8 ? 2 : 1;
    return head.size() == 5
        && head.startsWith("\x7f"
                           "ELF")
        && head.at(4) == elfClass;
}

} // namespace

class RealPluginsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dpfPlugins_data()
    {
        // clang-format off
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("vendor");
        QTest::addColumn<bool>("instrument");
        QTest::addColumn<int>("ins");
        QTest::addColumn<int>("outs");

        QTest::newRow("3BandEQ") << "3BandEQ-vst.so" << "3 Band EQ" << "DISTRHO" << false << 2 << 2;
        QTest::newRow("3BandSplitter") << "3BandSplitter-vst.so" << "3 Band Splitter" << "DISTRHO" << false << 2 << 6;
        QTest::newRow("AmplitudeImposer") << "AmplitudeImposer-vst.so" << "Amplitude Imposer" << "ndc Plugs" << false << 4 << 2;
        QTest::newRow("CycleShifter") << "CycleShifter-vst.so" << "Cycle Shifter" << "ndc Plugs" << false << 1 << 1;
        QTest::newRow("Kars") << "Kars-vst.so" << "Kars-vst.so" << "" << true << 0 << 1;
        QTest::newRow("MVerb") << "MVerb-vst.so" << "MVerb" << "Martin Eastwood, falkTX" << false << 2 << 2;
        QTest::newRow("MaBitcrush") << "MaBitcrush-vst.so" << "MaBitcrush" << "DISTRHO" << false << 1 << 2;
        QTest::newRow("MaFreeverb") << "MaFreeverb-vst.so" << "MaFreeverb" << "DISTRHO" << false << 1 << 1;
        QTest::newRow("MaGigaverb") << "MaGigaverb-vst.so" << "MaGigaverb" << "DISTRHO" << false << 2 << 2;
        QTest::newRow("MaPitchshift") << "MaPitchshift-vst.so" << "MaPitchshift" << "DISTRHO" << false << 1 << 2;
        QTest::newRow("Nekobi") << "Nekobi-vst.so" << "Nekobi-vst.so" << "" << true << 0 << 1;
        QTest::newRow("PingPongPan") << "PingPongPan-vst.so" << "Ping Pong Pan" << "DISTRHO" << false << 2 << 2;
        QTest::newRow("SoulForce") << "SoulForce-vst.so" << "Soul Force" << "ndc Plugs" << false << 2 << 2;
        QTest::newRow("glBars") << "glBars-vst.so" << "glBars" << "DISTRHO" << false << 1 << 1;
        QTest::newRow("ProM") << "ProM.vst/ProM.so" << "ProM" << "DISTRHO" << false << 2 << 2;
        // clang-format on
    }

    void dpfPlugins()
    {
        QFETCH(QString, file);
        QFETCH(QString, name);
        QFETCH(QString, vendor);
        QFETCH(bool, instrument);
        QFETCH(int, ins);
        QFETCH(int, outs);

        // The installed package, or for the other word size the i386 build
        // that fetch-plugins.sh unpacked.
        QString path = QStringLiteral("/usr/lib/vst/") + file;
        if (!loadableBySameWidth(path))
            path = QStringLiteral(FETCHED_PLUGIN_DIR "/i386/usr/lib/vst/") + file;
        if (!QFile::exists(path))
            QSKIP("dpf-plugins-vst is neither installed nor fetched for this word size");
        if (!loadableBySameWidth(path))
            QSKIP("the plug-ins at hand are of another word size");

        QTemporaryDir config;
        const ScanRun run = runScanner({path}, config.path(), kIgnorePluginLeaks);
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.stderrLines.value(1), QLatin1Char('"') + path + "\" \"" + name + QLatin1Char('"'));

        const StoreContents store = readStore(config.path());
        QCOMPARE(store.keys(), QStringList{settingsKeyForPath(path)});
        const QMap<QString, QString> group = store.first();
        QCOMPARE(group.value("name"), name);
        QCOMPARE(group.value("pluginfn"), path);
        QCOMPARE(group.value("vendor"), vendor);
        QCOMPARE(group.value("instrument"), QString::fromLatin1(instrument ? "true" : "false"));
        QCOMPARE(group.value("inchans"), QString::number(ins));
        QCOMPARE(group.value("outchans"), QString::number(outs));
        QCOMPARE(group.value("type"), QStringLiteral("VST"));
    }

    // These instruments run a worker thread from instantiation until
    // effClose. Left running while the library is unloaded, a few percent
    // of scans crash; repeated scans make such a regression show.
    void lspInstrumentsSurviveRepeatedScans_data()
    {
        // clang-format off
        QTest::addColumn<QString>("file");
        QTest::newRow("sampler-mono") << "sampler-mono.so";
        QTest::newRow("sampler-stereo") << "sampler-stereo.so";
        QTest::newRow("trigger-midi-mono") << "trigger-midi-mono.so";
        QTest::newRow("trigger-midi-stereo") << "trigger-midi-stereo.so";
        // clang-format on
    }

    void lspInstrumentsSurviveRepeatedScans()
    {
        QFETCH(QString, file);
        const QString path = QStringLiteral("/usr/lib/vst/lsp-plugins/") + file;
        if (!QFile::exists(path))
            QSKIP("lsp-plugins-vst is not installed");
        if (!loadableBySameWidth(path))
            QSKIP("the installed plug-ins are of another word size");

        QTemporaryDir config;
        for (int i = 0; i < 25; ++i) {
            const ScanRun run = runScanner({path}, config.path(), kIgnorePluginLeaks);
            QVERIFY2(run.exitStatus == QProcess::NormalExit, qPrintable(QStringLiteral("crashed in run %1").arg(i)));
            QCOMPARE(run.exitCode, 0);
            QCOMPARE(readStore(config.path()).value(settingsKeyForPath(path)).value("name"), file);
        }
    }

    // The whole installed library, scanned by ombrel-scan in its sandbox:
    // every plug-in comes out exactly as the scanner run on it by a host
    // names it.
    void sandboxedLibraryAsAHostSeesIt()
    {
        const QString library = QStringLiteral("/usr/lib/vst");
        if (!QFile::exists(library + "/lsp-plugins") || !loadableBySameWidth(library + "/PingPongPan-vst.so"))
            QSKIP("dpf-plugins-vst and lsp-plugins-vst are not installed for this word size");
        QTemporaryDir work;
        QProcess launcher;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ASAN_OPTIONS", kIgnorePluginLeaks.value("ASAN_OPTIONS"));
        launcher.setProcessEnvironment(env);
        launcher.start(LAUNCHER_PATH,
                       {"--json", "--sandbox", "require", "--cache", work.path() + "/cache.json", library});
        QVERIFY(launcher.waitForFinished(600000));
        const QString err = QString::fromUtf8(launcher.readAllStandardError());
        if (launcher.exitCode() == 2 && err.contains("no sandbox can be had"))
            QSKIP(qPrintable(err));
        QCOMPARE(launcher.exitCode(), 0);
        const QJsonArray plugins = QJsonDocument::fromJson(launcher.readAllStandardOutput())["plugins"].toArray();
        QVERIFY(plugins.size() > 100);
        int named = 0;
        for (const QJsonValue &value : plugins) {
            const QJsonObject plugin = value.toObject();
            const QString path = plugin["path"].toString();
            QCOMPARE(plugin["protection"].toString(), QStringLiteral("sandbox"));
            QTemporaryDir config;
            const ScanRun run = runScanner({path}, config.path(), kIgnorePluginLeaks);
            const QMap<QString, QString> group = readStore(config.path()).value(settingsKeyForPath(path));
            QVERIFY2((plugin["outcome"].toString() == "ok") == (run.exitCode == 0 && !group.isEmpty()),
                     qPrintable(path));
            if (group.isEmpty())
                continue;
            ++named;
            const QJsonObject described = plugin.value("descriptions").toArray().at(0).toObject();
            QCOMPARE(described["name"].toString(), group.value("name"));
            QCOMPARE(described["vendor"].toString(), group.value("vendor"));
            if (group.value("instrument") == QLatin1String("true"))
                QCOMPARE(described["kind"].toString(), QStringLiteral("instrument"));
            QCOMPARE(described["audioInputs"].toInt(), group.value("inchans").toInt());
            QCOMPARE(described["audioOutputs"].toInt(), group.value("outchans").toInt());
        }
        QVERIFY(named > 100);
    }
};

QTEST_GUILESS_MAIN(RealPluginsTest)
#include "tst_realplugins.moc"
