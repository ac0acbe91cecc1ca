// VST 3 and CLAP through the launcher: what a bundle is built for, read
// from its binaries' headers, and every test plug-in scanned by
// ombrel-scan in its sandbox beside a well-behaved one.

#include "launcher/files/vst3bundle.h"

#include <QDir>
#include <QFile>
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

} // namespace

class FormatsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
};

QTEST_GUILESS_MAIN(FormatsTest)
#include "tst_formats.moc"
