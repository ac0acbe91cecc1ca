// Real VST 3 and CLAP plug-ins, Debian 13's builds of zam-plugins and
// dragonfly-reverb (they load on Debian 12), scanned by ombrel-scan in its
// sandbox as a host would list them; and lsp-plugins-vst3, whose binary
// needs a newer C library, named from its moduleinfo.json. Skipped where
// they could not be fetched (tests/realplugins/fetch-trixie.sh).

#include "common/scannerrun.h"

#include "common/scannerrun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString fetched()
{
    return QStringLiteral(FETCHED_PLUGIN_DIR "/trixie/usr/lib");
}

QString number(const QJsonValue &value)
{
    return value.isUndefined() ? QStringLiteral("-") : QString::number(qint64(value.toDouble()));
}

// One plug-in as a host lists it: its file, then what a peer host shows.
QString summary(const QString &path, const QJsonObject &plugin)
{
    auto text = [&plugin](const char *key) { return plugin.value(QLatin1String(key)).toString(); };
    auto pair = [&plugin](const char *first, const char *second) {
        return number(plugin.value(QLatin1String(first))) + QLatin1Char('/')
            + number(plugin.value(QLatin1String(second)));
    };
    return QStringList{QFileInfo(path).fileName(),
                       text("name"),
                       text("vendor"),
                       text("version"),
                       text("category"),
                       text("kind"),
                       pair("audioInputs", "audioOutputs"),
                       pair("audioInputsAll", "audioOutputsAll"),
                       QStringLiteral("midi ") + pair("midiInputs", "midiOutputs"),
                       QStringLiteral("params ") + number(plugin.value(QLatin1String("parameters")))}
        .join(QLatin1String(" | "));
}

} // namespace

class RealFormatsTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QJsonArray m_results;

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo::exists(fetched() + QStringLiteral("/vst3/ZamComp.vst3")))
            QSKIP("Debian 13's VST 3 and CLAP plug-ins could not be fetched (no network?)");
        QVERIFY(m_dir.isValid());
        QProcess scan;
        // Under AddressSanitizer: real plug-ins crash and leak as they do.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   asanOptions(QStringLiteral("handle_segv=0:detect_leaks=0")).value(QStringLiteral("ASAN_OPTIONS")));
        scan.setProcessEnvironment(env);
        scan.start(QStringLiteral(LAUNCHER_PATH),
                   {QStringLiteral("--json"), QStringLiteral("--format"), QStringLiteral("vst3,clap"),
                    QStringLiteral("--cache"), m_dir.path() + QStringLiteral("/cache.json"),
                    fetched() + QStringLiteral("/vst3"), fetched() + QStringLiteral("/clap")});
        QVERIFY(scan.waitForFinished(300000));
        QCOMPARE(scan.exitCode(), 0);
        m_results
            = QJsonDocument::fromJson(scan.readAllStandardOutput()).object().value(QLatin1String("plugins")).toArray();
        QVERIFY(!m_results.isEmpty());
    }

    // The first plug-in of each file as the scan lists it.
    void listsEveryPlugin()
    {
        QStringList found;
        for (const QJsonValue &value : std::as_const(m_results)) {
            const QJsonObject result = value.toObject();
            const QString path = result.value(QLatin1String("path")).toString();
            if (path.contains(QLatin1String("lsp-plugins")))
                continue;
            QCOMPARE(result.value(QLatin1String("outcome")).toString(), QStringLiteral("ok"));
            const QJsonArray descriptions = result.value(QLatin1String("descriptions")).toArray();
            QCOMPARE(descriptions.size(), 1);
            found << summary(path, descriptions.first().toObject());
        }
        found.sort();
        // clang-format off
        QStringList expected{
            "DragonflyEarlyReflections.vst3 | Dragonfly Early Reflections | Michael Willis | 3.2.10 | Fx|Reverb|Stereo | effect | 2/2 | 2/2 | midi 0/0 | params 9",
            "DragonflyHallReverb.vst3 | Dragonfly Hall Reverb | Michael Willis and Rob vd Berg | 3.2.10 | Fx|Reverb|Stereo | effect | 2/2 | 2/2 | midi 0/0 | params 20",
            "DragonflyPlateReverb.vst3 | Dragonfly Plate Reverb | Michael Willis | 3.2.10 | Fx|Reverb|Stereo | effect | 2/2 | 2/2 | midi 0/0 | params 11",
            "DragonflyRoomReverb.vst3 | Dragonfly Room Reverb | Michael Willis | 3.2.10 | Fx|Reverb|Stereo | effect | 2/2 | 2/2 | midi 0/0 | params 19",
            "ZaMaximX2.vst3 | ZaMaximX2 | Damien Zammit | 4.2.0 | Fx|Dynamics|Stereo | effect | 2/2 | 2/2 | midi 0/0 | params 9",
            "ZaMultiComp.vst3 | ZaMultiComp | Damien Zammit | 4.2.0 | Fx|Dynamics|Mono | effect | 1/1 | 1/1 | midi 0/0 | params 37",
            "ZaMultiCompX2.vst3 | ZaMultiCompX2 | Damien Zammit | 4.2.0 | Fx|Dynamics|Stereo | effect | 2/2 | 2/2 | midi 0/0 | params 39",
            "ZamAutoSat.vst3 | ZamAutoSat | Damien Zammit | 4.2.0 | Fx|Dynamics|Mono | effect | 1/1 | 1/1 | midi 0/0 | params 2",
            "ZamComp.vst3 | ZamComp | Damien Zammit | 4.2.0 | Fx|Dynamics|Mono | effect | 1/1 | 2/1 | midi 0/0 | params 13",
            "ZamCompX2.vst3 | ZamCompX2 | Damien Zammit | 4.2.0 | Fx|Dynamics|Stereo | effect | 2/2 | 3/2 | midi 0/0 | params 14",
            "ZamDelay.vst3 | ZamDelay | Damien Zammit | 4.2.0 | Fx|Delay|Mono | effect | 1/1 | 1/1 | midi 0/0 | params 12",
            "ZamDynamicEQ.vst3 | ZamDynamicEQ | Damien Zammit | 4.2.0 | Fx|EQ|Mono | effect | 1/1 | 2/1 | midi 0/0 | params 19",
            "ZamEQ2.vst3 | ZamEQ2 | Damien Zammit | 4.2.0 | Fx|EQ|Mono | effect | 1/1 | 1/1 | midi 0/0 | params 15",
            "ZamGEQ31.vst3 | ZamGEQ31 | Damien Zammit | 4.2.0 | Fx|EQ|Mono | effect | 1/1 | 1/1 | midi 0/0 | params 33",
            "ZamGate.vst3 | ZamGate | Damien Zammit | 4.2.0 | Fx|Dynamics|Mono | effect | 1/1 | 2/1 | midi 0/0 | params 12",
            "ZamGateX2.vst3 | ZamGateX2 | Damien Zammit | 4.2.0 | Fx|Dynamics|Stereo | effect | 2/2 | 3/2 | midi 0/0 | params 12",
            "ZamGrains.vst3 | ZamGrains | Damien Zammit | 4.2.0 | Fx|Delay|Mono | effect | 1/1 | 1/1 | midi 0/0 | params 12",
            "ZamHeadX2.vst3 | ZamHeadX2 | Damien Zammit | 4.2.0 | Fx|EQ|Stereo | effect | 2/2 | 2/2 | midi 0/0 | params 6",
            "ZamPhono.vst3 | ZamPhono | Damien Zammit | 4.2.0 | Fx|Tools|Mono | effect | 1/1 | 1/1 | midi 0/0 | params 5",
            "ZamTube.vst3 | ZamTube | Damien Zammit | 4.2.0 | Fx|Distortion|Mono | effect | 1/1 | 1/1 | midi 0/0 | params 10",
            "ZamVerb.vst3 | ZamVerb | Damien Zammit | 4.2.0 | Fx|Reverb|Stereo | effect | 2/2 | 2/2 | midi 0/0 | params 6",
            "DragonflyEarlyReflections.clap | Dragonfly Early Reflections | Michael Willis |  | audio-effect reverb stereo | effect | 2/2 | 2/2 | midi 0/0 | params 7",
            "DragonflyHallReverb.clap | Dragonfly Hall Reverb | Michael Willis and Rob vd Berg |  | audio-effect reverb stereo | effect | 2/2 | 2/2 | midi 0/0 | params 18",
            "DragonflyPlateReverb.clap | Dragonfly Plate Reverb | Michael Willis |  | audio-effect reverb stereo | effect | 2/2 | 2/2 | midi 0/0 | params 9",
            "DragonflyRoomReverb.clap | Dragonfly Room Reverb | Michael Willis |  | audio-effect reverb stereo | effect | 2/2 | 2/2 | midi 0/0 | params 17",
            "ZaMaximX2.clap | ZaMaximX2 | Damien Zammit |  | audio-effect limiter stereo | effect | 2/2 | 2/2 | midi 0/0 | params 5",
            "ZaMultiComp.clap | ZaMultiComp | Damien Zammit |  | audio-effect compressor mono | effect | 1/1 | 1/1 | midi 0/0 | params 34",
            "ZaMultiCompX2.clap | ZaMultiCompX2 | Damien Zammit |  | audio-effect compressor stereo | effect | 2/2 | 2/2 | midi 0/0 | params 36",
            "ZamAutoSat.clap | ZamAutoSat | Damien Zammit |  | audio-effect mono | effect | 1/1 | 1/1 | midi 0/0 | params 0",
            "ZamComp.clap | ZamComp | Damien Zammit |  | audio-effect compressor mono | effect | 1/1 | 2/1 | midi 0/0 | params 10",
            "ZamCompX2.clap | ZamCompX2 | Damien Zammit |  | audio-effect compressor stereo | effect | 2/2 | 3/2 | midi 0/0 | params 11",
            "ZamDelay.clap | ZamDelay | Damien Zammit |  | audio-effect delay mono | effect | 1/1 | 1/1 | midi 0/0 | params 9",
            "ZamDynamicEQ.clap | ZamDynamicEQ | Damien Zammit |  | audio-effect equalizer mono | effect | 1/1 | 2/1 | midi 0/0 | params 16",
            "ZamEQ2.clap | ZamEQ2 | Damien Zammit |  | audio-effect equalizer mono | effect | 1/1 | 1/1 | midi 0/0 | params 12",
            "ZamGEQ31.clap | ZamGEQ31 | Damien Zammit |  | audio-effect equalizer mono | effect | 1/1 | 1/1 | midi 0/0 | params 30",
            "ZamGate.clap | ZamGate | Damien Zammit |  | audio-effect mono | effect | 1/1 | 2/1 | midi 0/0 | params 9",
            "ZamGateX2.clap | ZamGateX2 | Damien Zammit |  | audio-effect stereo | effect | 2/2 | 3/2 | midi 0/0 | params 9",
            "ZamGrains.clap | ZamGrains | Damien Zammit |  | audio-effect delay granular mono | effect | 1/1 | 1/1 | midi 0/0 | params 9",
            "ZamHeadX2.clap | ZamHeadX2 | Damien Zammit |  | audio-effect equalizer stereo | effect | 2/2 | 2/2 | midi 0/0 | params 3",
            "ZamPhono.clap | ZamPhono | Damien Zammit |  | audio-effect utility mono | effect | 1/1 | 1/1 | midi 0/0 | params 2",
            "ZamTube.clap | ZamTube | Damien Zammit |  | audio-effect distortion mono | effect | 1/1 | 1/1 | midi 0/0 | params 7",
            "ZamVerb.clap | ZamVerb | Damien Zammit |  | audio-effect reverb stereo | effect | 2/2 | 2/2 | midi 0/0 | params 3",
        };
        // clang-format on
        expected.sort();
        QCOMPARE(found, expected);
    }

    // A binary that needs a newer C library than this system's: its
    // classes are still listed, from moduleinfo.json, and the result says
    // why the binary did not load.
    void namesFromModuleInfo()
    {
        for (const QJsonValue &value : std::as_const(m_results)) {
            const QJsonObject result = value.toObject();
            if (!result.value(QLatin1String("path")).toString().endsWith(QLatin1String("lsp-plugins.vst3")))
                continue;
            QCOMPARE(result.value(QLatin1String("outcome")).toString(), QStringLiteral("ok"));
            const QJsonArray descriptions = result.value(QLatin1String("descriptions")).toArray();
            QCOMPARE(descriptions.size(), 184);
            QCOMPARE(summary(QString(), descriptions.first().toObject()),
                     QStringLiteral(" | A/B Tester x2 Mono | LSP VST3 | 1.0.16 | Fx|Tools|Mono | effect | -/- | -/- | "
                                    "midi -/- | params -"));
            const QString note = result.value(QLatin1String("note")).toString();
            QVERIFY2(note.contains(QLatin1String("GLIBC_")) && note.contains(QLatin1String("moduleinfo.json")),
                     qPrintable(note));
            return;
        }
        QFAIL("lsp-plugins.vst3 was not scanned");
    }
};

QTEST_GUILESS_MAIN(RealFormatsTest)
#include "tst_realformats.moc"
