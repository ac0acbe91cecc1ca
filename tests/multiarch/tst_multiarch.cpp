// Plug-ins of every architecture in one folder: each goes to the installed
// scanner that can load it, or is named without starting one. The real
// 32-bit plug-ins are Debian's i386 build of dpf-plugins-vst, fetched by
// fetch-plugins.sh; their 64-bit twins are the installed package.

#include "common/scannerrun.h"
#include "launcher/files/binaryformat.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using namespace ombrel;

namespace {

const bool kIs64Bit = sizeof(void *) == 8;
const QString kFetched = QStringLiteral(FETCHED_PLUGIN_DIR "/i386/usr/lib/vst");
const QString kTwins = QStringLiteral("/usr/lib/vst");

QByteArray number(quint32 value, int size, bool bigEndian)
{
    QByteArray bytes(size, 0);
    for (int i = 0; i < size; ++i)
        bytes[bigEndian ? size - 1 - i : i] = char((value >> (8 * i)) & 0xff);
    return bytes;
}

QByteArray elfHeader(char wordSize, char byteOrder, quint16 machine)
{
    QByteArray header = QByteArray("\177ELF") + wordSize + byteOrder + QByteArray(58, '\1');
    return header.replace(18, 2, number(machine, 2, byteOrder == 2));
}

QByteArray peFile(quint32 headerOffset, quint16 machine)
{
    QByteArray file
        = "MZ" + QByteArray(int(headerOffset) - 2, '\0') + QByteArray("PE\0\0", 4) + number(machine, 2, false);
    return file.replace(0x3c, 4, number(headerOffset, 4, false)) + QByteArray(40, '\0');
}

QByteArray machO(quint32 magic, quint32 cpu, bool bigEndian)
{
    return number(magic, 4, bigEndian) + number(cpu, 4, bigEndian) + QByteArray(24, '\0');
}

QByteArray universal(const QList<quint32> &cpus)
{
    QByteArray file = number(0xcafebabe, 4, true) + number(quint32(cpus.size()), 4, true);
    for (quint32 cpu : cpus)
        file += number(cpu, 4, true) + QByteArray(16, '\0');
    return file;
}

constexpr quint32 kArm64 = 0x0100000c;
constexpr quint32 kX86_64 = 0x01000007;

// Foreign files of the mixed folder, by name: contents and outcome text.
struct Crafted
{
    const char *file;
    QByteArray contents;
    const char *outcome;
    const char *binary;
};

const Crafted kCrafted[] = {
    {"arm64.so", elfHeader(2, 1, 183), "foreign", "64-bit ARM"},
    {"windows.so", peFile(0x80, 0x8664), "foreign", "Windows, 64-bit x86"},
    {"macos.so", machO(0xfeedfacf, kArm64, false), "foreign", "macOS, 64-bit ARM"},
    {"notes.so", "not a library\n", "not-a-plugin", nullptr},
    {"empty.so", QByteArray(), "not-a-plugin", nullptr},
};

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// path -> the plug-in's JSON object, from one ombrel-scan --json run.
QMap<QString, QJsonObject> scan(const QString &launcher, const QStringList &args)
{
    QProcess process;
    // A third-party plug-in's leaks are not the scanner's to answer for.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ASAN_OPTIONS"), asanOptions(QStringLiteral("detect_leaks=0")).value("ASAN_OPTIONS"));
    process.setProcessEnvironment(env);
    process.start(launcher, QStringList{"--json"} + args);
    QMap<QString, QJsonObject> plugins;
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        qWarning() << process.readAllStandardError();
        return plugins;
    }
    for (const QJsonValue &value : QJsonDocument::fromJson(process.readAllStandardOutput())["plugins"].toArray())
        plugins.insert(value["path"].toString(), value.toObject());
    return plugins;
}

// The fetched 32-bit plug-ins, relative to their folder.
QStringList fetchedPlugins()
{
    QStringList files;
    QDirIterator it(kFetched, {"*.so"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(kFetched.size() + 1);
    return files;
}

bool install(const QString &build, const QString &prefix)
{
    return QProcess::execute(CMAKE_COMMAND_PATH, {"--install", build, "--prefix", prefix}) == 0;
}

} // namespace

class MultiArchTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QStringList twinPaths(const QStringList &plugins) const
    {
        QStringList twins;
        for (const QString &plugin : plugins)
            twins << kTwins + "/" + plugin;
        return twins;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(m_dir.path() + "/crafted"));
        for (const Crafted &crafted : kCrafted)
            QVERIFY(writeFile(m_dir.path() + "/crafted/" + crafted.file, crafted.contents));
    }

    void formats_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("described"); // empty: no executable format
        // Real ELF files, text and empty files are in the folder scanned below.

        QTest::newRow("ELF 32-bit ARM") << elfHeader(1, 1, 40) << "32-bit ARM";
        QTest::newRow("ELF big-endian PowerPC") << elfHeader(2, 2, 21) << "64-bit PowerPC";
        QTest::newRow("ELF unknown machine") << elfHeader(2, 1, 0x1234) << "64-bit machine 0x1234";
        QTest::newRow("ELF cut short") << QByteArray("\177ELF\2\1\0\0") << "";
        QTest::newRow("PE 32-bit x86") << peFile(0x40, 0x14c) << "Windows, 32-bit x86";
        QTest::newRow("PE header far in") << peFile(0x1000, 0xaa64) << "Windows, 64-bit ARM";
        QTest::newRow("DOS program") << QByteArray("MZ").leftJustified(0x200, '\0') << "";
        QTest::newRow("Mach-O 64-bit x86") << machO(0xfeedfacf, kX86_64, false) << "macOS, 64-bit x86";
        QTest::newRow("Mach-O big-endian PowerPC") << machO(0xfeedface, 18, true) << "macOS, 32-bit PowerPC";
        QTest::newRow("universal") << universal({kX86_64, kArm64}) << "macOS, 64-bit x86 + 64-bit ARM";
        QTest::newRow("Java class") << (number(0xcafebabe, 4, true) + number(52, 4, true)) << "";
        // clang-format on
    }

    void formats()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, described);
        const QString path = m_dir.path() + "/format";
        QVERIFY(writeFile(path, contents));
        const BinaryFormat format = readBinaryFormat(path);
        QCOMPARE(describe(format), described);
        QCOMPARE(format.container == Container::None, described.isEmpty());
    }

    // The built launcher has its own scanner only: files of the other word
    // size are named, not scanned.
    void builtLauncherNamesWhatItCannotScan()
    {
        const QStringList fetched = fetchedPlugins();
        QStringList twins = twinPaths(fetched);
        twins.erase(std::remove_if(twins.begin(), twins.end(), [](const QString &p) { return !QFile::exists(p); }),
                    twins.end());
        // Without a network nothing was fetched, and no folder of them made.
        const QStringList fetchedFolder = fetched.isEmpty() ? QStringList() : QStringList{kFetched};
        const QMap<QString, QJsonObject> plugins = scan(
            LAUNCHER_PATH,
            QStringList{"--cache", m_dir.path() + "/built.json", m_dir.path() + "/crafted"} + fetchedFolder + twins);
        for (const Crafted &crafted : kCrafted) {
            const QJsonObject plugin = plugins.value(m_dir.path() + "/crafted/" + crafted.file);
            QCOMPARE(plugin["outcome"].toString(), QString::fromLatin1(crafted.outcome));
            QCOMPARE(plugin["binary"].toString(), QString::fromLatin1(crafted.binary));
            QVERIFY(!plugin.contains("scanner")); // none was started
        }
        if (fetched.isEmpty())
            QSKIP("the 32-bit plug-ins could not be fetched");
        for (const QString &file : fetched) {
            const QJsonObject plugin = plugins.value(kFetched + "/" + file);
            QCOMPARE(plugin["outcome"].toString(), QString::fromLatin1(kIs64Bit ? "foreign" : "ok"));
            if (kIs64Bit)
                QCOMPARE(plugin["binary"].toString(), QStringLiteral("32-bit x86 (no 32-bit scanner installed)"));
        }
        for (const QString &twin : twins)
            QCOMPARE(plugins.value(twin)["outcome"].toString(), QString::fromLatin1(kIs64Bit ? "ok" : "foreign"));
    }

    // The native and the i386 build installed into one prefix: each plug-in
    // is scanned by its own scanner, and the 32-bit twin is named as the
    // 64-bit one. Installing the i386 scanner later makes the next run scan
    // what the run before could not.
    void bothBuildsInOnePrefix()
    {
        const QString i386Build = QStringLiteral(I386_BUILD_DIR);
        if (!kIs64Bit || i386Build.isEmpty() || !QFile::exists(i386Build + "/OmbrelPluginScanner"))
            QSKIP("needs a 64-bit build and a built i386 tree (OMBREL_I386_BUILD)");
        const QStringList fetched = fetchedPlugins();
        if (fetched.isEmpty() || !QFile::exists(twinPaths(fetched).first()))
            QSKIP("needs the fetched 32-bit plug-ins and the installed 64-bit dpf-plugins-vst");

        const QString prefix = m_dir.path() + "/prefix";
        const QString cache = m_dir.path() + "/prefix.json";
        const QString launcher = prefix + "/bin/ombrel-scan";
        const QStringList args = QStringList{"--cache", cache, kFetched} + twinPaths(fetched);
        QVERIFY(install(BUILD_DIR, prefix));
        QMap<QString, QJsonObject> plugins = scan(launcher, args);
        QCOMPARE(plugins.value(kFetched + "/" + fetched.first())["binary"].toString(),
                 QStringLiteral("32-bit x86 (no 32-bit scanner installed)"));

        QVERIFY(install(i386Build, prefix));
        plugins = scan(launcher, args);
        const QString libexec = QFileInfo(prefix + "/libexec/ombrel").canonicalFilePath();
        for (const QString &file : fetched) {
            const QJsonObject plugin = plugins.value(kFetched + "/" + file);
            const QJsonObject twin = plugins.value(kTwins + "/" + file);
            QCOMPARE(plugin["outcome"].toString(), QStringLiteral("ok"));
            QCOMPARE(plugin["cached"].toBool(), false);
            QCOMPARE(plugin["scanner"].toString(), libexec + "/i386/OmbrelPluginScanner");
            QCOMPARE(twin["scanner"].toString(), libexec + "/OmbrelPluginScanner");
            // Every field alike but where the file lies.
            QJsonObject described = plugin.value("descriptions").toArray().at(0).toObject();
            QJsonObject twinDescribed = twin.value("descriptions").toArray().at(0).toObject();
            described.remove(QLatin1String("file"));
            twinDescribed.remove(QLatin1String("file"));
            QCOMPARE(described, twinDescribed);
        }
    }
};

QTEST_GUILESS_MAIN(MultiArchTest)
#include "tst_multiarch.moc"
