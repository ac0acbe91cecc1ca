// The LADSPA, DSSI and LV2 describers, run in this process on the test
// plug-ins and bundles that end normally; those that crash or hang are
// scanned through the scanner in tst_scanner.

#include "probe/describers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString built(const QString &relative)
{
    return QDir::cleanPath(QStringLiteral(TEST_PLUGIN_DIR "/../") + relative);
}

QString optional(const std::optional<qint64> &value)
{
    return value ? QString::number(*value) : QStringLiteral("-");
}

// One line per plug-in with what a host shows of it; paths are left out.
QString summary(const PluginDescription &d)
{
    const QString editor
        = d.editor ? (*d.editor ? QStringLiteral("ui") : QStringLiteral("no-ui")) : QStringLiteral("-");
    return QStringList{d.format,
                       d.id,
                       d.label,
                       d.name.left(12),
                       d.vendor,
                       d.version,
                       d.category,
                       d.kind,
                       optional(d.audioInputs) + QLatin1Char('/') + optional(d.audioOutputs),
                       optional(d.audioInputsAll) + QLatin1Char('/') + optional(d.audioOutputsAll),
                       QStringLiteral("midi ") + optional(d.midiInputs) + QLatin1Char('/') + optional(d.midiOutputs),
                       QStringLiteral("params ") + optional(d.parameters),
                       editor,
                       optional(d.index)}
        .join(QLatin1Char('|'));
}

} // namespace

class DescribersTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_traceFile;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_traceFile = m_dir.filePath(QStringLiteral("trace"));
        qputenv("OMBREL_TEST_TRACE", QFile::encodeName(m_traceFile));
    }

    void describes_data()
    {
        // clang-format off
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("plugins");
        QTest::addColumn<QString>("cause"); // its start

        QTest::newRow("ladspa: three plug-ins") << "ladspa" << "ladspa/ladspa_plugins.so" << 0 << QStringList{
            "ladspa|4001|stereo|Test Stereo|Kestrune Tests|||effect|2/2|2/2|midi -/-|params 2|-|0",
            "ladspa|4002|synth|Test Synth|Kestrune Tests|||effect|0/1|0/1|midi -/-|params 1|-|1",
            // The endless name is cut at the bound; a port list missing tells no counts.
            "ladspa|4003|odd|nnnnnnnnnnnn||||effect|-/-|-/-|midi -/-|params -|-|2"} << QString();
        QTest::newRow("ladspa: VST 2 only") << "ladspa" << "plugins/good_effect.so" << 5 << QStringList()
                                            << "no ladspa_descriptor";
        QTest::newRow("ladspa: not a library") << "ladspa" << "lv2/effect.lv2/effect.ttl" << 5 << QStringList()
                                               << "not loadable: ";
        QTest::newRow("ladspa: a folder") << "ladspa" << "ladspa" << 5 << QStringList() << "not a regular file";
        QTest::newRow("ladspa: nothing there") << "ladspa" << "ladspa/none.so" << 3 << QStringList() << QString();
        QTest::newRow("dssi: a synth and an effect") << "dssi" << "dssi/dssi_plugins.so" << 0 << QStringList{
            "dssi|4002|synth|Test Synth|Kestrune Tests|||instrument|0/1|0/1|midi 1/-|params 1|no-ui|0",
            "dssi|4001|stereo|Test Stereo|Kestrune Tests|||effect|2/2|2/2|midi 0/-|params 2|no-ui|1"} << QString();
        QTest::newRow("dssi: LADSPA only") << "dssi" << "ladspa/ladspa_plugins.so" << 5 << QStringList()
                                           << "no dssi_descriptor";
        QTest::newRow("lv2: effect and analyser") << "lv2" << "lv2/effect.lv2" << 0 << QStringList{
            "lv2|urn:kestrune:tests:effect||Test Reverb|Kestrune Tests|2.4|Reverb Plugin|effect|2/2|3/2|midi 1/0|params 2|ui|0",
            "lv2|urn:kestrune:tests:meter||Test Meter|||Analyser Plugin|analyzer|1/0|1/0|midi 0/0|params 0|no-ui|1"}
            << QString();
        QTest::newRow("lv2: instrument") << "lv2" << "lv2/instrument.lv2" << 0 << QStringList{
            "lv2|urn:kestrune:tests:instrument||Test Synth|Kestrune Tests|1.0|Instrument Plugin|instrument|0/2|0/2|midi 1/1|params 0|no-ui|0"}
            << QString();
        QTest::newRow("lv2: broken Turtle") << "lv2" << "lv2/broken_turtle.lv2" << 5 << QStringList()
                                            << "not valid Turtle: manifest.ttl:7:31: bad verb";
        QTest::newRow("lv2: missing data file") << "lv2" << "lv2/missing_file.lv2" << 5 << QStringList()
                                                << "urn:kestrune:tests:missing: its data file missing.ttl is missing";
        QTest::newRow("lv2: binary never loaded") << "lv2" << "lv2/writes_file.lv2" << 0 << QStringList{
            "lv2|urn:kestrune:tests:writes-file||Writes File|||Amplifier Plugin|effect|1/1|1/1|midi 0/0|params 0|no-ui|0"}
            << QString();
        QTest::newRow("lv2: a file") << "lv2" << "lv2/effect.lv2/manifest.ttl" << 5 << QStringList() << "not a folder";
        QTest::newRow("lv2: no manifest") << "lv2" << "ladspa" << 5 << QStringList() << "no manifest.ttl";
        QTest::newRow("lv2: nothing there") << "lv2" << "lv2/none.lv2" << 3 << QStringList() << QString();
        // clang-format on
    }

    void describes()
    {
        QFETCH(QString, format);
        QFETCH(QString, path);
        QFETCH(int, outcome);
        QFETCH(QStringList, plugins);
        QFETCH(QString, cause);

        const FormatDescriber describe = describerFor(format);
        QVERIFY(describe);
        QFile::remove(m_traceFile);
        FileDescription description;
        QVERIFY2(describe(built(path), &description) == outcome, qPrintable(description.cause));
        QStringList found;
        for (const PluginDescription &plugin : description.plugins)
            found << summary(plugin);
        QCOMPARE(found, plugins);
        QVERIFY2(description.cause.startsWith(cause), qPrintable(description.cause));
        if (format == QLatin1String("lv2")) {
            // LV2 is read from its data: nothing of a bundle's code ran.
            QVERIFY(!QFile::exists(m_traceFile));
            for (const PluginDescription &plugin : description.plugins)
                QCOMPARE(plugin.bundle, built(path));
        } else if (!plugins.isEmpty()) {
            QCOMPARE(description.plugins.first().file, built(path));
        }
    }

    // Debian's plug-ins, where installed (tools/install-deps --tests): the
    // count in the file and one plug-in as lv2info and analyseplugin show it.
    void realPlugins_data()
    {
        // clang-format off
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("plugin");

        QTest::newRow("tap-plugins") << "ladspa" << "/usr/lib/ladspa/tap_echo.so" << 1
            << "ladspa|2143|tap_stereo_echo|TAP Stereo E|Tom Szilagyi|||effect|2/2|2/2|midi -/-|params 10|-|0";
        QTest::newRow("lsp-plugins-ladspa") << "ladspa" << "/usr/lib/ladspa/lsp-plugins-ladspa-1.2.5.so" << 114 << QString();
        QTest::newRow("hexter") << "dssi" << "/usr/lib/dssi/hexter.so" << 1
            << "dssi|2183|hexter|hexter DX7 e|Sean Bolton <sean AT smbolton DOT com>|||instrument|0/1|0/1|midi 1/-|params 2|ui|0";
        QTest::newRow("x42 fil4") << "lv2" << "/usr/lib/lv2/fil4.lv2" << 2 << QString();
        QTest::newRow("lsp-plugins-lv2") << "lv2" << "/usr/lib/lv2/lsp-plugins.lv2" << 134 << QString();
        // clang-format on
    }

    void realPlugins()
    {
        QFETCH(QString, format);
        QFETCH(QString, path);
        QFETCH(int, count);
        QFETCH(QString, plugin);

        if (!QFile::exists(path))
            QSKIP("the package is not installed");
        FileDescription description;
        QVERIFY2(describerFor(format)(path, &description) == 0, qPrintable(description.cause));
        QCOMPARE(description.plugins.size(), count);
        if (!plugin.isEmpty())
            QCOMPARE(summary(description.plugins.first()), plugin);
    }

    // An endless descriptor list is cut, and said to be.
    void endlessList()
    {
        FileDescription description;
        QCOMPARE(
            describerFor(QStringLiteral("ladspa"))(built(QStringLiteral("ladspa/ladspa_endless.so")), &description), 0);
        QCOMPARE(description.plugins.size(), 4096);
        QVERIFY2(description.note.contains(QLatin1String("more than 4096")), qPrintable(description.note));
    }

    // DSSI's GUIs are programs beside the library, in a folder named after it.
    void dssiGui()
    {
        const QString folder = m_dir.filePath(QStringLiteral("dssi"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/dssi_plugins")));
        QVERIFY(
            QFile::copy(built(QStringLiteral("dssi/dssi_plugins.so")), folder + QStringLiteral("/dssi_plugins.so")));
        QFile gui(folder + QStringLiteral("/dssi_plugins/synth_gtk"));
        QVERIFY(gui.open(QIODevice::WriteOnly));
        gui.close();
        QVERIFY(gui.setPermissions(gui.permissions() | QFileDevice::ExeUser));

        FileDescription description;
        QCOMPARE(describerFor(QStringLiteral("dssi"))(folder + QStringLiteral("/dssi_plugins.so"), &description), 0);
        QCOMPARE(description.plugins.size(), 2);
        QCOMPARE(description.plugins.at(0).editor, std::optional<bool>(true));  // synth
        QCOMPARE(description.plugins.at(1).editor, std::optional<bool>(false)); // stereo
    }
};

QTEST_GUILESS_MAIN(DescribersTest)
#include "tst_describers.moc"
