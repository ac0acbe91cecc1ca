// VST 3 and CLAP through the launcher: what a bundle is built for, read
// from its binaries' headers, and every test plug-in scanned by
// ombrel-scan in its sandbox beside a well-behaved one.

#include "common/scannerrun.h"

#include "launcher/files/filestamp.h"
#include "launcher/files/vst3bundle.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace ombrel;

namespace {

// Just enough of an ELF header to say what it is built for.
QByteArray elfHeader(int bits, quint16 machine)
{
    QByteArray header(64, '\0');
    header.replace(0, 4,
                   "\x7f"
                   "ELF");
    header[4] = char(bits == 64 ? 2 : 1);
    header[5] = 1; // little-endian
    header[18] = char(machine & 0xff);
    header[19] = char(machine >> 8);
    return header;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Long enough for ten thousand classes on a busy machine, sanitizers included.
#if defined(OMBREL_SANITIZED)
const char kTimeLimit[] = "30";
#else
const char kTimeLimit[] = "5";
#endif

} // namespace

class FormatsTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QHash<QString, QJsonObject> m_results; // by file name

private Q_SLOTS:
    // One run over every VST 3 and CLAP test plug-in, in the sandbox where
    // there is one: each misbehaving plug-in scanned beside well-behaved ones.
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString plugins = QStringLiteral(TEST_PLUGIN_DIR "/..");
        QProcess scan;
        // Under AddressSanitizer, a crashing plug-in must still crash.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   asanOptions(QStringLiteral("handle_segv=0")).value(QStringLiteral("ASAN_OPTIONS")));
        scan.setProcessEnvironment(env);
        scan.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        scan.start(QStringLiteral(LAUNCHER_PATH),
                   {QStringLiteral("--json"), QStringLiteral("--timeout"), QLatin1String(kTimeLimit),
                    QStringLiteral("-j"), QStringLiteral("4"), QStringLiteral("--format"), QStringLiteral("vst3,clap"),
                    QStringLiteral("--cache"), m_dir.path() + QStringLiteral("/cache.json"),
                    plugins + QStringLiteral("/vst3"), plugins + QStringLiteral("/clap")});
        QVERIFY(scan.waitForFinished(120000));
        QCOMPARE(scan.exitCode(), 0);
        const QJsonObject report = QJsonDocument::fromJson(scan.readAllStandardOutput()).object();
        int described = 0;
        for (const QJsonValue &result : report.value(QLatin1String("plugins")).toArray()) {
            const QString path = result.toObject().value(QLatin1String("path")).toString();
            m_results.insert(QFileInfo(path).fileName(), result.toObject());
            described += int(result.toObject().value(QLatin1String("descriptions")).toArray().size());
        }
        // The summary counts plug-ins apart from the files holding them.
        QCOMPARE(report.value(QLatin1String("described")).toInt(), described);
        QVERIFY(described > report.value(QLatin1String("total")).toInt());
    }

    // What each plug-in comes to: the outcome, with the signal or exit
    // code where it ended so, and how many plug-ins the file was found to hold.
    void scansInTheSandbox_data()
    {
        // clang-format off
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("code"); // the signal of a crash, the exit code of a failure
        QTest::addColumn<int>("plugins");

        for (const char *format : {"vst3", "clap"}) {
            const QString prefix = QLatin1String(format) + QLatin1Char('_');
            const QString suffix = QLatin1Char('.') + QLatin1String(format);
            for (const char *place : {"entry", "factory", "init"}) {
                const QString at = QStringLiteral("_in_") + QLatin1String(place);
                QTest::newRow(qPrintable(prefix + "crash" + at)) << prefix + "crash" + at + suffix << "crashed" << 11 << 0;
                QTest::newRow(qPrintable(prefix + "hang" + at)) << prefix + "hang" + at + suffix << "timed-out" << 0 << 0;
                QTest::newRow(qPrintable(prefix + "exit" + at)) << prefix + "exit" + at + suffix << "failed" << 4 << 0;
            }
        }
        QTest::newRow("vst3 good") << "vst3_good.vst3" << "ok" << 0 << 2;
        QTest::newRow("vst3 no classes") << "vst3_no_classes.vst3" << "ok" << 0 << 0;
        QTest::newRow("vst3 many classes") << "vst3_many_classes.vst3" << "ok" << 0 << 10000;
        QTest::newRow("vst3 unterminated") << "vst3_unterminated.vst3" << "ok" << 0 << 2;
        QTest::newRow("vst3 first factory only") << "vst3_factory_v1.vst3" << "ok" << 0 << 2;
        QTest::newRow("clap draft version") << "clap_draft_version.clap" << "not-a-plugin" << 0 << 0;
        QTest::newRow("clap good") << "clap_good.clap" << "ok" << 0 << 2;
        QTest::newRow("clap no plug-ins") << "clap_no_plugins.clap" << "ok" << 0 << 0;
        QTest::newRow("clap many plug-ins") << "clap_many_plugins.clap" << "ok" << 0 << 10000;
        QTest::newRow("clap null fields") << "clap_null_fields.clap" << "ok" << 0 << 1;
        QTest::newRow("clap any factory") << "clap_any_factory.clap" << "ok" << 0 << 2;
        // clang-format on
    }

    void scansInTheSandbox()
    {
        QFETCH(QString, file);
        QFETCH(QString, outcome);
        QFETCH(int, code);
        QFETCH(int, plugins);
        QVERIFY2(m_results.contains(file), qPrintable(file + QStringLiteral(" was not scanned")));
        const QJsonObject result = m_results.value(file);
        QCOMPARE(result.value(QLatin1String("outcome")).toString(), outcome);
        if (outcome == QLatin1String("crashed"))
            QCOMPARE(result.value(QLatin1String("signal")).toInt(), code);
        if (outcome == QLatin1String("failed"))
            QCOMPARE(result.value(QLatin1String("exitCode")).toInt(), code);
        QCOMPARE(result.value(QLatin1String("descriptions")).toArray().size(), plugins);
    }

    // Each row: the bundle's binaries (folder, bits, machine), what the
    // launcher reads the bundle as, and the files whose stamps are its own.
    void bundleFormat_data()
    {
        QTest::addColumn<QStringList>("binaries"); // "<arch folder>:<bits>:<machine>"
        QTest::addColumn<QString>("format");       // describe() of it, or "unreadable"
        QTest::addColumn<int>("stamped");

        QTest::newRow("64-bit x86") << QStringList{"x86_64-linux:64:62"} << "64-bit x86" << 1;
        QTest::newRow("both x86") << QStringList{"i386-linux:32:3", "x86_64-linux:64:62"} << "32-bit x86 + 64-bit x86"
                                  << 2;
        QTest::newRow("i686 folder") << QStringList{"i686-linux:32:3"} << "32-bit x86" << 1;
        QTest::newRow("ARM only") << QStringList{"aarch64-linux:64:183", "armv7l-linux:32:40"}
                                  << "64-bit ARM + 32-bit ARM" << 2;
        QTest::newRow("no binary") << QStringList() << "unreadable" << 0;
    }

    void bundleFormat()
    {
        QFETCH(QStringList, binaries);
        QFETCH(QString, format);
        QFETCH(int, stamped);
        QTemporaryDir dir;
        const QString bundle = dir.path() + QStringLiteral("/Plug.vst3");
        QVERIFY(QDir().mkpath(bundle + QStringLiteral("/Contents/Resources")));
        for (const QString &binary : binaries) {
            const QStringList parts = binary.split(QLatin1Char(':'));
            QVERIFY(writeFile(bundle + QStringLiteral("/Contents/") + parts[0] + QStringLiteral("/Plug.so"),
                              elfHeader(parts[1].toInt(), quint16(parts[2].toUInt()))));
        }
        // Not a binary of the bundle: outside the architecture folders.
        QVERIFY(writeFile(bundle + QStringLiteral("/Contents/Resources/helper.so"), elfHeader(64, 62)));
        const BinaryFormat read = vst3BundleFormat(bundle);
        QCOMPARE(read.container == Container::Unreadable ? QStringLiteral("unreadable") : describe(read), format);
        QCOMPARE(vst3ScannedFiles(bundle).size(), stamped);
        QVERIFY(writeFile(bundle + QStringLiteral("/Contents/Resources/moduleinfo.json"), "{}"));
        QCOMPARE(vst3ScannedFiles(bundle).size(), stamped + 1);
    }

    // An LV2 bundle's scan reads whichever data files its manifest names:
    // a change to any file in it, below it too, is a change of the bundle.
    void lv2BundleStampCoversItsFiles()
    {
        QTemporaryDir dir;
        const QString bundle = dir.path() + QStringLiteral("/plug.lv2");
        QVERIFY(writeFile(bundle + QStringLiteral("/manifest.ttl"), "manifest"));
        QVERIFY(writeFile(bundle + QStringLiteral("/data/plug.ttl"), "data"));
        const QString before = fileStamp(bundle);
        QVERIFY(writeFile(bundle + QStringLiteral("/data/plug.ttl"), "data, longer"));
        const QString changed = fileStamp(bundle);
        QVERIFY(changed != before);
        QVERIFY(writeFile(bundle + QStringLiteral("/more.ttl"), "more"));
        QVERIFY(fileStamp(bundle) != changed);
    }
};

QTEST_GUILESS_MAIN(FormatsTest)
#include "tst_formats.moc"
