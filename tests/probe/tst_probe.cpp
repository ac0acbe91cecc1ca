// The probe, the host callback, the group key and the status texts, tested
// in this process so that what happens between calls is visible.

#include "common/scannerrun.h"

#include "probe/banlist.h"
#include "probe/hostcallback.h"
#include "contract/outcome.h"
#include "scanner/pluginscanner.h"
#include "contract/settingskey.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

QStringList capturedLines;

void captureMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    capturedLines << message;
}

} // namespace

class ProbeTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_traceFile;

    QString takeTrace()
    {
        QFile trace(m_traceFile);
        if (!trace.open(QIODevice::ReadOnly))
            return QString();
        const QString events = QString::fromUtf8(trace.readAll()).simplified();
        trace.remove();
        return events;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_traceFile = m_dir.path() + QStringLiteral("/trace");
        qputenv("OMBREL_TEST_TRACE", QFile::encodeName(m_traceFile));
    }

    void init()
    {
        capturedLines.clear();
        qInstallMessageHandler(captureMessage);
    }

    void cleanup() { qInstallMessageHandler(nullptr); }

    // The library is unloaded before the probe returns on every path past
    // the ban check: its destructors have already run by then.
    void unloadsBeforeReturning_data()
    {
        // clang-format off
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("trace");

        QTest::newRow("effect") << "good_effect" << "Test Effect"
                                << "entry open name vendor product close unload";
        QTest::newRow("instrument") << "instrument" << "instrument.so" << "entry open close unload";
        QTest::newRow("entry returns null") << "entry_returns_null" << QString() << "entry unload";
        QTest::newRow("no entry point") << "no_entry_point" << QString() << "unload";
        // clang-format on
    }

    void unloadsBeforeReturning()
    {
        QFETCH(QString, variant);
        QFETCH(QString, name);
        QFETCH(QString, trace);

        const PluginInfo info = PluginScanner().probePlugin(testPluginPath(variant));
        QCOMPARE(info.name, name);
        QCOMPARE(takeTrace(), trace);
        QVERIFY(capturedLines.isEmpty());
    }

    void repeatedProbesStartFresh()
    {
        // A library left loaded would keep its state from the first probe.
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(PluginScanner().probePlugin(testPluginPath(QStringLiteral("good_effect"))).inchans, 3);
            QCOMPARE(takeTrace(), QStringLiteral("entry open name vendor product close unload"));
        }
    }

    void banCheck_data()
    {
        // clang-format off
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("entry");

        QTest::newRow("file name") << "/p/Kontakt.so" << "kontakt";
        QTest::newRow("upper case") << "/p/KONTAKT.so" << "kontakt";
        QTest::newRow("folder only") << "/plugins/kontakt/gain.so" << "kontakt";
        QTest::newRow("inside a word") << "/p/MyWaveShellX.so" << "waveshell";
        QTest::newRow("first entry wins") << "/absynth/kontakt.so" << "kontakt";
        QTest::newRow("spaces") << "/p/FL Studio VSTi (Multi).so" << "FL Studio VSTi";
        QTest::newRow("automap") << "C:\\VST\\AutoMap.dll" << "automap";
        QTest::newRow("vstboard") << "/p/vstboard.so" << "vstboard";
        QTest::newRow("near miss") << "/p/kontak.so" << QString();
        QTest::newRow("split by a folder") << "/p/wave/shell.so" << QString();
        // clang-format on
    }

    void banCheck()
    {
        QFETCH(QString, path);
        QFETCH(QString, entry);

        QCOMPARE(bannedEntryIn(path), entry);
        // Banned paths are refused before the file is touched: none of
        // these exists, and only the banned ones log.
        const PluginInfo info = PluginScanner().probePlugin(path);
        QVERIFY(info.name.isEmpty());
        const QStringList expected = entry.isEmpty()
            ? QStringList()
            : QStringList{QLatin1Char('"') + path + QStringLiteral("\"  : plugin dll is in ban list!")};
        QCOMPARE(capturedLines, expected);
    }

    void banListOrder()
    {
        QCOMPARE(banList(),
                 (QStringList{QStringLiteral("waveshell"), QStringLiteral("kontakt"), QStringLiteral("absynth"),
                              QStringLiteral("automap"), QStringLiteral("FL Studio VSTi"),
                              QStringLiteral("FL Studio VSTi(multi)"), QStringLiteral("vstboard")}));
    }

    void hostCallbackAnswers_data()
    {
        // clang-format off
        QTest::addColumn<int>("opcode");
        QTest::addColumn<qlonglong>("answer");

        QTest::newRow("version") << 1 << 2400LL;
        QTest::newRow("process level") << 23 << 1LL;
        QTest::newRow("automate") << 0 << 0LL;
        QTest::newRow("idle") << 3 << 0LL;
        QTest::newRow("begin edit") << 43 << 0LL;
        QTest::newRow("end edit") << 44 << 0LL;
        QTest::newRow("unknown") << 12345 << 0LL;
        QTest::newRow("negative") << -7 << 0LL;
        // clang-format on
    }

    void hostCallbackAnswers()
    {
        QFETCH(int, opcode);
        QFETCH(qlonglong, answer);
        float ignored = 1.0f;
        QCOMPARE(qlonglong(hostCallback(nullptr, opcode, 5, 6, &ignored, 2.0f)), answer);
    }

    void timeBlockIsOneZeroBlock()
    {
        const intptr_t first = hostCallback(nullptr, Vst2::audioMasterGetTime, 0, 0, nullptr, 0.0f);
        QVERIFY(first != 0);
        QCOMPARE(hostCallback(nullptr, Vst2::audioMasterGetTime, 0, 0, nullptr, 0.0f), first);
        QCOMPARE(reinterpret_cast<Vst2::VstTimeInfo *>(first), hostTimeInfo());
        const Vst2::VstTimeInfo zero{};
        QCOMPARE(std::memcmp(hostTimeInfo(), &zero, sizeof zero), 0);
    }

    void settingsKey_data()
    {
        // clang-format off
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("key");

        // Expected digests computed independently over the serialised bytes.
        QTest::newRow("abc") << "abc" << "17fff0e3ac8783c4c9256d2071b90f8d10093a25";
        QTest::newRow("empty") << "" << "9069ca78e7450a285173431b3e52c5c25299e473";
        QTest::newRow("backslashes") << "C:\\VST\\Gain.dll" << "0214fcbe82c70ff2905df1e9b022f921b6b4dc22";
        QTest::newRow("surrogate pair") << QString::fromUtf8("\xF0\x9D\x84\x9E")
                                        << "100ff4d7a061ed3bac19c7229ebb230a189dbb01";
        QTest::newRow("mixed") << QString::fromUtf8("Ünïcode \xF0\x9D\x84\x9E gain.so")
                               << "90c51a77172c389db286f88dc71bbc88955b6401";
        // clang-format on
    }

    void settingsKey()
    {
        QFETCH(QString, path);
        QFETCH(QString, key);
        QCOMPARE(settingsKeyForPath(path), key);
    }

    void statusTexts_data()
    {
        // clang-format off
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("text");

        QTest::newRow("0") << 0 << "OK";
        QTest::newRow("1") << 1 << "Plugin is instrument, not supported in Ombrel";
        QTest::newRow("2") << 2 << "Plugin is banned from being used";
        QTest::newRow("3") << 3 << "Plugin binary file not found";
        QTest::newRow("4") << 4 << "Unspecified failure";
        QTest::newRow("5") << 5 << "Unknown failure state";
        QTest::newRow("6") << 6 << "Error";
        QTest::newRow("7") << 7 << "Unknown failure state";
        QTest::newRow("-1") << -1 << "Unknown failure state";
        // clang-format on
    }

    void statusTexts()
    {
        QFETCH(int, outcome);
        QFETCH(QString, text);
        QCOMPARE(statusText(outcome), text);
    }
};

QTEST_GUILESS_MAIN(ProbeTest)
#include "tst_probe.moc"
