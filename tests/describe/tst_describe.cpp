// The VST 3 and CLAP describers run in this process over the well-behaved
// test plug-ins, the JSON5 reader, and moduleinfo.json standing in for a
// binary that does not load. Misbehaving plug-ins are scanned through the
// scanner and the launcher (tests launcher and sandbox).

#include "probe/clap/clapdescriber.h"
#include "probe/describers.h"
#include "probe/vst3/json5.h"
#include "probe/vst3/moduleinfo.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

QString testPluginFolder()
{
    return QStringLiteral(TEST_PLUGIN_DIR "/..");
}

QString vst3Bundle(const QString &variant)
{
    return testPluginFolder() + QStringLiteral("/vst3/") + variant + QStringLiteral(".vst3");
}

QString clapFile(const QString &variant)
{
    return testPluginFolder() + QStringLiteral("/clap/") + variant + QStringLiteral(".clap");
}

QString number(const std::optional<qint64> &value)
{
    return value ? QString::number(*value) : QStringLiteral("-");
}

// One plug-in on one line, in the order a host's list shows it.
QString summary(const PluginDescription &plugin)
{
    return QStringList{plugin.id,
                       plugin.name,
                       plugin.vendor,
                       plugin.version,
                       plugin.category,
                       plugin.kind,
                       number(plugin.audioInputs) + QLatin1Char('/') + number(plugin.audioOutputs),
                       number(plugin.audioInputsAll) + QLatin1Char('/') + number(plugin.audioOutputsAll),
                       QStringLiteral("midi ") + number(plugin.midiInputs) + QLatin1Char('/')
                           + number(plugin.midiOutputs),
                       QStringLiteral("params ") + number(plugin.parameters),
                       plugin.editor ? QString::number(*plugin.editor) : QStringLiteral("-")}
        .join(QLatin1String(" | "));
}

QStringList summaries(const FileDescription &description)
{
    QStringList lines;
    for (const PluginDescription &plugin : description.plugins)
        lines << summary(plugin);
    return lines;
}

QString takeTrace(const QString &file)
{
    QFile trace(file);
    if (!trace.open(QIODevice::ReadOnly))
        return QString();
    const QString events = QString::fromUtf8(trace.readAll()).simplified();
    trace.remove();
    return events;
}

} // namespace

class DescribeTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_traceFile;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_traceFile = m_dir.path() + QStringLiteral("/trace");
        qputenv("OMBREL_TEST_TRACE", QFile::encodeName(m_traceFile));
    }

    void init() { QFile::remove(m_traceFile); }

    // Each plug-in as a host lists it, and what the scan did to the module:
    // every instance initialized is terminated or destroyed, nothing leaks.
    void describes_data()
    {
        // clang-format off
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("plugins");
        QTest::addColumn<QString>("trace");

        QTest::newRow("vst3 effect and instrument") << "vst3" << vst3Bundle("vst3_good") << 0 << QStringList{
            "4B545354000000000000000000000000 | Test Delay | Kestrune Tests | 1.2.3 | Fx|Delay | effect | 2/2 | 3/2 | midi 0/0 | params 3 | -",
            "4B545354020000000200000000000000 | Test Synth | Kestrune Synths | 1.2.3 | Instrument|Synth | instrument | 0/2 | 0/4 | midi 1/0 | params 5 | -"}
            << "entry factory context init controller-init controller-terminate terminate init terminate exit unload";
        QTest::newRow("vst3 no classes") << "vst3" << vst3Bundle("vst3_no_classes") << 0 << QStringList()
            << "entry factory context exit unload";
        QTest::newRow("vst3 unterminated") << "vst3" << vst3Bundle("vst3_unterminated") << 0 << QStringList{
            "4B545354000000000000000000000000 | " + QString(64, 'T') + " | " + QString(64, 'K') + " | "
                + QString(64, '1') + " | " + QString(128, 'F') + " | effect | 2/2 | 3/2 | midi 0/0 | params 3 | -",
            "4B545354020000000200000000000000 | " + QString(64, 'T') + " | " + QString(64, 'K') + " | "
                + QString(64, '1') + " | " + QString(128, 'I') + " | effect | 0/2 | 0/4 | midi 1/0 | params 5 | -"}
            << "entry factory context init controller-init controller-terminate terminate init terminate exit unload";
        QTest::newRow("vst3 first factory only") << "vst3" << vst3Bundle("vst3_factory_v1") << 0 << QStringList{
            "4B545354000000000000000000000000 | Test Delay | Kestrune Tests |  |  | effect | 2/2 | 3/2 | midi 0/0 | params 3 | -",
            "4B545354020000000200000000000000 | Test Synth | Kestrune Tests |  |  | effect | 0/2 | 0/4 | midi 1/0 | params 5 | -"}
            << "entry factory init controller-init controller-terminate terminate init terminate exit unload";
        QTest::newRow("clap effect and instrument") << "clap" << clapFile("clap_good") << 0 << QStringList{
            "com.kestrune.tests.delay | Test Delay | Kestrune Tests | 1.2.3 | audio-effect delay stereo | effect | 2/2 | 3/2 | midi 0/0 | params 4 | 1",
            "com.kestrune.tests.synth | Test Synth | Kestrune Synths | 2.0 | instrument synthesizer | instrument | 0/2 | 0/2 | midi 1/0 | params 7 | 0"}
            << "entry factory init destroy init destroy exit unload";
        QTest::newRow("clap no plug-ins") << "clap" << clapFile("clap_no_plugins") << 0 << QStringList()
            << "entry factory exit unload";
        QTest::newRow("clap null fields") << "clap" << clapFile("clap_null_fields") << 0 << QStringList{
            "com.kestrune.tests.bare | Bare |  |  |  | other | 2/2 | 3/2 | midi 0/0 | params 4 | 1"}
            << "entry factory init destroy exit unload";
        QTest::newRow("clap factory for any id") << "clap" << clapFile("clap_any_factory") << 0 << QStringList{
            "com.kestrune.tests.delay | Test Delay | Kestrune Tests | 1.2.3 | audio-effect delay stereo | effect | 2/2 | 3/2 | midi 0/0 | params 4 | 1",
            "com.kestrune.tests.synth | Test Synth | Kestrune Synths | 2.0 | instrument synthesizer | instrument | 0/2 | 0/2 | midi 1/0 | params 7 | 0"}
            << "entry factory init destroy init destroy exit unload";
        QTest::newRow("clap draft version") << "clap" << clapFile("clap_draft_version") << 5 << QStringList() << "unload";
        QTest::newRow("clap not a library") << "clap" << QString(SCHEMA_DIR "/ombrel-scan-result.schema.json") << 5
            << QStringList() << "";
        QTest::newRow("vst3 missing") << "vst3" << vst3Bundle("nothing_here") << 3 << QStringList() << "";
        QTest::newRow("clap missing") << "clap" << clapFile("nothing_here") << 3 << QStringList() << "";
        // clang-format on
    }

    void describes()
    {
        QFETCH(QString, format);
        QFETCH(QString, path);
        QFETCH(int, outcome);
        QFETCH(QStringList, plugins);
        QFETCH(QString, trace);

        const FormatDescriber describe = describerFor(format);
        QVERIFY(describe);
        FileDescription description;
        QCOMPARE(describe(path, &description), outcome);
        QCOMPARE(summaries(description), plugins);
        QCOMPARE(takeTrace(m_traceFile), trace);
        QCOMPARE(description.cause.isEmpty(), outcome != 5);
    }

    void manyClasses_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("path");
        QTest::newRow("vst3") << "vst3" << vst3Bundle("vst3_many_classes");
        QTest::newRow("clap") << "clap" << clapFile("clap_many_plugins");
    }

    void manyClasses()
    {
        QFETCH(QString, format);
        QFETCH(QString, path);
        FileDescription description;
        QCOMPARE(describerFor(format)(path, &description), 0);
        QCOMPARE(description.plugins.size(), 10000);
        QCOMPARE(description.plugins.last().index, 9999);
        QVERIFY(!takeTrace(m_traceFile).contains(QLatin1String("leaked")));
    }

    void clapKinds_data()
    {
        QTest::addColumn<QStringList>("features");
        QTest::addColumn<QString>("kind");
        QTest::newRow("instrument first") << QStringList{"instrument", "audio-effect"} << "instrument";
        QTest::newRow("note effect") << QStringList{"note-effect", "utility"} << "note-effect";
        QTest::newRow("analyzer") << QStringList{"analyzer", "audio-effect"} << "analyzer";
        QTest::newRow("effect") << QStringList{"audio-effect", "stereo"} << "effect";
        QTest::newRow("none known") << QStringList{"vendor:thing"} << "other";
    }

    void clapKinds()
    {
        QFETCH(QStringList, features);
        QFETCH(QString, kind);
        QCOMPARE(clapKind(features), kind);
    }

    // What a moduleinfo.json reader must take, each row one JSON5 feature
    // the writers use, and what it must refuse.
    void json5_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("json"); // as Qt writes the value back, compact; empty: refused

        QTest::newRow("trailing commas") << QByteArray("{\"a\": [1, 2,], \"b\": 3,}") << QByteArray("{\"a\":[1,2],\"b\":3}");
        QTest::newRow("line comment") << QByteArray("{// why\n\"a\": 1 // more\n}") << QByteArray("{\"a\":1}");
        QTest::newRow("block comment") << QByteArray("/* head */ [1, /* in */ 2]") << QByteArray("[1,2]");
        QTest::newRow("unquoted keys") << QByteArray("{Name: 'x', $a_1: 2}") << QByteArray("{\"$a_1\":2,\"Name\":\"x\"}");
        QTest::newRow("single quotes") << QByteArray("['it\\'s', \"say \\\"hi\\\"\"]") << QByteArray("[\"it's\",\"say \\\"hi\\\"\"]");
        QTest::newRow("line continuation") << QByteArray("'a\\\nb'") << QByteArray("\"ab\"");
        QTest::newRow("raw newline and tab") << QByteArray("\"a\nb\tc\"") << QByteArray("\"a\\nb\\tc\"");
        QTest::newRow("escapes") << QByteArray("\"\\u00e9\\x41\\n\\/\"") << QByteArray("\"\xc3\xa9" "A\\n/\"");
        QTest::newRow("utf-8 text") << QByteArray("\"M\xc3\xbcller\"") << QByteArray("\"M\xc3\xbcller\"");
        QTest::newRow("hex") << QByteArray("[0x1F, -0xa]") << QByteArray("[31,-10]");
        QTest::newRow("leading plus and dots") << QByteArray("[+1, .5, 5., -.25]") << QByteArray("[1,0.5,5,-0.25]");
        QTest::newRow("exponent") << QByteArray("[1e3, 2E-1]") << QByteArray("[1000,0.2]");
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf{}") << QByteArray("{}");
        QTest::newRow("words") << QByteArray("[true, false, null]") << QByteArray("[true,false,null]");
        QTest::newRow("unterminated string") << QByteArray("{\"a\": \"b}") << QByteArray();
        QTest::newRow("missing colon") << QByteArray("{\"a\" 1}") << QByteArray();
        QTest::newRow("missing comma") << QByteArray("[1 2]") << QByteArray();
        QTest::newRow("text after") << QByteArray("{} x") << QByteArray();
        QTest::newRow("bare word") << QByteArray("[truth]") << QByteArray();
        QTest::newRow("too deep") << QByteArray(100, '[') + QByteArray(100, ']') << QByteArray();
        QTest::newRow("empty") << QByteArray("") << QByteArray();
        // clang-format on
    }

    void json5()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, json);
        QJsonValue value;
        QString error;
        const bool ok = parseJson5(text, &value, &error);
        QCOMPARE(ok, !json.isEmpty());
        QCOMPARE(error.isEmpty(), ok);
        if (ok) {
            const QJsonArray wrapped{value}; // a document needs an array or object
            const QByteArray written = QJsonDocument(wrapped).toJson(QJsonDocument::Compact);
            QCOMPARE(written.mid(1, written.size() - 2), json);
        }
    }

    void json5InfinityAndNaN()
    {
        QJsonValue value;
        QString error;
        QVERIFY(parseJson5("[Infinity, -Infinity, NaN]", &value, &error));
        const QJsonArray array = value.toArray();
        QVERIFY(std::isinf(array.at(0).toDouble()) && array.at(0).toDouble() > 0);
        QVERIFY(std::isinf(array.at(1).toDouble()) && array.at(1).toDouble() < 0);
        QVERIFY(std::isnan(array.at(2).toDouble()));
    }

    // A bundle whose binary cannot load here still lists its classes, with
    // a note saying why and from where; a moduleinfo.json of either place.
    void moduleInfoStandsIn_data()
    {
        QTest::addColumn<QString>("place");
        QTest::newRow("Contents/Resources") << "Contents/Resources";
        QTest::newRow("Contents") << "Contents";
    }

    void moduleInfoStandsIn()
    {
        QFETCH(QString, place);
        QTemporaryDir dir;
        const QString bundle = dir.path() + QStringLiteral("/Newer.vst3");
        QVERIFY(QDir().mkpath(bundle + QStringLiteral("/Contents/x86_64-linux")));
        QVERIFY(QDir().mkpath(bundle + QStringLiteral("/Contents/i386-linux")));
        QVERIFY(QDir().mkpath(bundle + QLatin1Char('/') + place));
        for (const char *binary : {"/Contents/x86_64-linux/Newer.so", "/Contents/i386-linux/Newer.so"}) {
            QFile file(bundle + QLatin1String(binary));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not a library");
        }
        QFile info(bundle + QLatin1Char('/') + place + QStringLiteral("/moduleinfo.json"));
        QVERIFY(info.open(QIODevice::WriteOnly));
        // As the usual writer leaves it: a comma after every member.
        info.write(R"({
  "Name": "Newer",
  "Version": "1.0.0",
  "Factory Info": {"Vendor": "Future Audio", "URL": "", "E-Mail": "", "Flags": {"Unicode": true,},},
  "Compatibility": [],
  "Classes": [
    {"CID": "0123456789abcdef0123456789ABCDEF", "Category": "Audio Module Class", "Name": "Newer Synth",
     "Vendor": "", "Version": "1.0.0", "SDKVersion": "VST 3.7.14", "Sub Categories": ["Instrument", "Synth",],
     "Class Flags": 0, "Cardinality": 2147483647,},
    // As one writer spells it.
    {"CID": "00112233445566778899AABBCCDDEEFF", "Catetory": "Audio Module Class", "Name": "Newer Delay",
     "Vendor": "Future FX", "Version": "1.0.1", "SDKVersion": "VST 3.7.14", "Sub Categories": ["Fx", "Delay"],
     "Class Flags": 0, "Cardinality": 2147483647,},
    {"CID": "FFFF0000FFFF0000FFFF0000FFFF0000", "Catetory": "Component Controller Class", "Name": "Newer Synth",
     "Vendor": "", "Version": "1.0.0", "SDKVersion": "VST 3.7.14", "Class Flags": 0, "Cardinality": 2147483647,},
  ],
})");
        info.close();

        FileDescription description;
        QCOMPARE(describerFor(QStringLiteral("vst3"))(bundle, &description), 0);
        const QStringList expected{
            "0123456789ABCDEF0123456789ABCDEF | Newer Synth | Future Audio | 1.0.0 | "
            "Instrument|Synth | instrument | -/- | -/- | midi -/- | params - | -",
            "00112233445566778899AABBCCDDEEFF | Newer Delay | Future FX | 1.0.1 | Fx|Delay | effect | "
            "-/- | -/- | midi -/- | params - | -"};
        QCOMPARE(summaries(description), expected);
        QVERIFY2(description.note.startsWith(QLatin1String("the binary did not load (")), qPrintable(description.note));
        QVERIFY2(description.note.endsWith(info.fileName()), qPrintable(description.note));
        QCOMPARE(description.plugins.first().bundle, bundle);
    }

    void moduleInfoRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("not JSON5") << QByteArray("{\"Classes\": [}") << "not JSON5: a value expected at line 1";
        QTest::newRow("no classes") << QByteArray("{\"Name\": \"x\"}") << "no \"Classes\" list";
    }

    void moduleInfoRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        ModuleInfo info;
        QString actual;
        QVERIFY(!moduleInfoFromBytes(text, &info, &actual));
        QCOMPARE(actual, error);
    }

    // Without a binary to load and without moduleinfo.json, the cause names what is missing.
    void bundleCauses()
    {
        QTemporaryDir dir;
        const QString bundle = dir.path() + QStringLiteral("/Empty.vst3");
        QVERIFY(QDir().mkpath(bundle + QStringLiteral("/Contents/armv7l-linux")));
        FileDescription description;
        QCOMPARE(describerFor(QStringLiteral("vst3"))(bundle, &description), 5);
        QVERIFY2(description.cause.startsWith(QLatin1String("no binary for ")), qPrintable(description.cause));
        QFile plain(dir.path() + QStringLiteral("/Flat.vst3"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QCOMPARE(describerFor(QStringLiteral("vst3"))(plain.fileName(), &description), 5);
        QCOMPARE(description.cause, QStringLiteral("not a bundle: a VST 3 plug-in is a folder"));
    }
};

QTEST_GUILESS_MAIN(DescribeTest)
#include "tst_describe.moc"
