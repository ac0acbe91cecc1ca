// The two ways a scan runs, each seen on its own: the sandbox's arguments,
// the frames between the launcher and a scan server (a stand-in server
// script sends what a real one could, broken frames included), and a run
// where no scan server is installed, which falls back to a scanner process
// per plug-in.

#include "common/scannerrun.h"

#include "contract/serverprotocol.h"
#include "launcher/library/libraryscan.h"
#include "launcher/run/sandbox.h"
#include "launcher/run/serverslot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace ombrel;
using namespace ombrel::scanserver;

Q_DECLARE_METATYPE(ProcessEnd::Ending)
Q_DECLARE_METATYPE(SandboxMode)
Q_DECLARE_METATYPE(LibraryScanStatus)

namespace {

// The folders bound read-only, in order; each must be bound onto itself.
QStringList readOnlyBinds(const QStringList &arguments, bool *ontoItself)
{
    QStringList binds;
    *ontoItself = true;
    for (int i = 0; i + 2 < arguments.size(); ++i) {
        if (arguments.at(i) != QLatin1String("--ro-bind-try"))
            continue;
        binds << arguments.at(i + 1);
        *ontoItself = *ontoItself && arguments.at(i + 1) == arguments.at(i + 2);
    }
    return binds;
}

QByteArray header(char type, quint32 size)
{
    QByteArray bytes(1, type);
    for (int i = 0; i < 4; ++i)
        bytes += char((size >> (8 * i)) & 0xff);
    return bytes;
}

QList<QByteArray> bytePieces(const QByteArray &bytes)
{
    QList<QByteArray> pieces;
    for (char byte : bytes)
        pieces << QByteArray(1, byte);
    return pieces;
}

class Events : public LibraryScanEvents
{
public:
    void problem(LibraryProblem, const QString &message) override { problems << message; }
    void scansPlanned(int) override { }
    void scanStarted(const QString &) override { }
    void result(const ScanResult &, bool) override { }
    QStringList problems;
};

} // namespace

class SlotsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sandboxArguments_data()
    {
        QTest::addColumn<QStringList>("readOnly");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("workingFolder");
        QTest::addColumn<QStringList>("binds");
        QTest::addColumn<bool>("folderMade");

        const QString here = QDir::currentPath();
        // clang-format off
        QTest::newRow("parents before children") << QStringList{"/a/b/c", "/a/b", "/a"} << "/s/server" << "/w"
            << QStringList{"/a", "/s", "/a/b", "/a/b/c"} << true;
        QTest::newRow("each folder once, cleaned") << QStringList{"/p/", "/p/./x/..", "/p"} << "/p/server" << "/w"
            << QStringList{"/p"} << true;
        QTest::newRow("the root never bound") << QStringList{"/", "/q"} << "/server" << "/"
            << QStringList{"/q"} << false;
        QTest::newRow("relative made absolute") << QStringList{"rel"} << "/s/server" << "/w"
            << QStringList{"/s", here + "/rel"} << true;
        // clang-format on
    }

    void sandboxArguments()
    {
        QFETCH(QStringList, readOnly);
        QFETCH(QString, server);
        QFETCH(QString, workingFolder);
        QFETCH(QStringList, binds);
        QFETCH(bool, folderMade);
        SandboxLayout layout;
        layout.bubblewrap = QStringLiteral("/usr/bin/bwrap");
        layout.server = server;
        layout.readOnly = readOnly;
        layout.workingFolder = workingFolder;
        const QStringList arguments = ombrel::sandboxArguments(layout);

        bool ontoItself = false;
        QCOMPARE(readOnlyBinds(arguments, &ontoItself), binds);
        QVERIFY(ontoItself);
        // Nothing of the user's is bound writable, and no capability is kept.
        QVERIFY(!arguments.contains(QStringLiteral("--bind")));
        const int capDrop = int(arguments.indexOf(QStringLiteral("--cap-drop")));
        QVERIFY(capDrop >= 0);
        QCOMPARE(arguments.value(capDrop + 1), QStringLiteral("ALL"));
        QVERIFY(arguments.contains(QStringLiteral("--unshare-user")));
        QVERIFY(arguments.contains(QStringLiteral("--unshare-net")));
        QCOMPARE(arguments.contains(QStringLiteral("--dir")), folderMade);
        const int chdir = int(arguments.indexOf(QStringLiteral("--chdir")));
        QCOMPARE(arguments.value(chdir + 1), workingFolder);
        // The options end before the server and its own arguments.
        const QStringList tail = arguments.mid(arguments.indexOf(QStringLiteral("--")));
        QCOMPARE(tail,
                 (QStringList{QStringLiteral("--"), server, sandboxHome() + QStringLiteral("/.scan-stores"),
                              QStringLiteral("--namespace-init")}));
        QVERIFY(capDrop < arguments.indexOf(QStringLiteral("--")));
    }

    void frameReader_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QByteArray>("types");
        QTest::addColumn<QList<QByteArray>>("payloads");
        QTest::addColumn<bool>("broken");

        const QByteArray ended = frame(Frame::Ended, joinFields({"exit", "3", "0", "", ""}));
        // clang-format off
        QTest::newRow("truncated header") << QList<QByteArray>{QByteArray("R\0\0", 3)} << QByteArray() << QList<QByteArray>{} << false;
        QTest::newRow("truncated payload") << QList<QByteArray>{frame(Frame::Output, "abc").left(7)} << QByteArray() << QList<QByteArray>{} << false;
        QTest::newRow("size past the limit") << QList<QByteArray>{header('O', kMaxPayload + 1)} << QByteArray() << QList<QByteArray>{} << true;
        QTest::newRow("largest size") << QList<QByteArray>{header('O', 0xffffffffu)} << QByteArray() << QList<QByteArray>{} << true;
        QTest::newRow("size at the limit waits") << QList<QByteArray>{header('O', kMaxPayload)} << QByteArray() << QList<QByteArray>{} << false;
        QTest::newRow("unknown type passed on") << QList<QByteArray>{header('Z', 1) + "z"} << QByteArray("Z") << QList<QByteArray>{"z"} << false;
        QTest::newRow("split byte by byte") << bytePieces(ended) << QByteArray("E") << QList<QByteArray>{ended.mid(kHeaderSize)} << false;
        QTest::newRow("two in one piece, then a broken one") << QList<QByteArray>{frame(Frame::Ready) + frame(Frame::Output, "x") + header('O', kMaxPayload + 1)}
            << QByteArray("RO") << QList<QByteArray>{"", "x"} << true;
        // clang-format on
    }

    void frameReader()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QByteArray, types);
        QFETCH(QList<QByteArray>, payloads);
        QFETCH(bool, broken);
        FrameReader reader;
        QByteArray seenTypes;
        QList<QByteArray> seenPayloads;
        bool seenBroken = false;
        for (const QByteArray &piece : pieces) {
            reader.append(piece);
            Frame type;
            QByteArray payload;
            while (reader.next(&type, &payload, &seenBroken)) {
                seenTypes += char(type);
                seenPayloads << payload;
            }
            if (seenBroken)
                break;
        }
        QCOMPARE(seenTypes, types);
        QCOMPARE(seenPayloads, payloads);
        QCOMPARE(seenBroken, broken);
    }

    // A stand-in server writes `before` at once; where `after` is given, it
    // then waits for a scan to be sent, writes `after`, and exits or stays.
    void serverEnds_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<bool>("exits");
        QTest::addColumn<ProcessEnd::Ending>("ending");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("failure");

        const QByteArray ready = frame(Frame::Ready);
        const QByteArray output = frame(Frame::Output, "half a line");
        using E = ProcessEnd::Ending;
        // clang-format off
        QTest::newRow("scan ends") << ready << output + frame(Frame::Ended, joinFields({"exit", "3", "0", "", ""})) << false << E::Exited << 3 << "";
        QTest::newRow("scan not run") << ready << frame(Frame::NotRun, "no such scanner") << false << E::NotStarted << 0 << "no such scanner";
        QTest::newRow("dies before Ready") << QByteArray() << QByteArray() << true << E::NotStarted << 0 << "could not be started (exit 7)";
        QTest::newRow("dies mid-scan") << ready << output << true << E::Crashed << 9 << "";
        QTest::newRow("frame past the limit") << ready << output + header('O', kMaxPayload + 1) << false << E::Crashed << 9 << "";
        QTest::newRow("unknown frame") << ready << output + header('Z', 0) << false << E::Crashed << 9 << "";
        // clang-format on
    }

    void serverEnds()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(bool, exits);
        QFETCH(ProcessEnd::Ending, ending);
        QFETCH(int, code);
        QFETCH(QString, failure);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString server = folder.filePath(QStringLiteral("server"));
        QByteArray script = "#!/bin/sh\ncat \"$0.before\"\n";
        if (after.isNull())
            script += "exit 7\n";
        else // the Scan frame's header: a scan is in flight
            script += QByteArray("head -c 5 >/dev/null\ncat \"$0.after\"\n")
                + (exits ? "exit 0\n" : "exec cat >/dev/null\n");
        const QList<std::pair<QString, QByteArray>> files = {
            {server, script}, {server + QStringLiteral(".before"), before}, {server + QStringLiteral(".after"), after}};
        for (const auto &[path, bytes] : files) {
            QFile file(path);
            QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), qPrintable(path));
        }
        QFile::setPermissions(server, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        ServerSlotSettings settings;
        settings.server = server;
        ServerSlotFactory factory(settings);
        std::unique_ptr<ScanSlot> slot = factory.makeSlot();
        bool ended = false;
        ProcessEnd end;
        slot->start(ScanRequest{QStringLiteral("/p.so"), QStringLiteral("/s"), {}, 1000}, [&](const ProcessEnd &e) {
            ended = true;
            end = e;
        });
        QTRY_VERIFY_WITH_TIMEOUT(ended, 10000);
        QCOMPARE(int(end.ending), int(ending));
        QCOMPARE(end.ending == ProcessEnd::Ending::Crashed ? end.signal : end.exitCode, code);
        QVERIFY2(end.failure.contains(failure), qPrintable(end.failure));
        // What the scan printed before the end is kept, however it ended.
        QCOMPARE(end.output.head().contains("half a line"), after.contains("half a line"));
    }

    // No scan server beside the scanner: a scanner process per plug-in,
    // said so, or no run at all when a sandbox is required.
    void withoutServer_data()
    {
        QTest::addColumn<SandboxMode>("mode");
        QTest::addColumn<LibraryScanStatus>("status");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("auto") << SandboxMode::Auto << LibraryScanStatus::Completed << "ok";
        QTest::newRow("off") << SandboxMode::Off << LibraryScanStatus::Completed << "ok";
        QTest::newRow("required") << SandboxMode::Require << LibraryScanStatus::NoSandbox << "";
    }

    void withoutServer()
    {
        QFETCH(SandboxMode, mode);
        QFETCH(LibraryScanStatus, status);
        QFETCH(QString, outcome);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        // A copy: a link would lead back to the build tree, where the server is.
        const QString scanner = folder.filePath(QStringLiteral("OmbrelPluginScanner"));
        const QString plugin = folder.filePath(QStringLiteral("plugins/gain.so"));
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("plugins")));
        QVERIFY(QFile::copy(QStringLiteral(SCANNER_PATH), scanner));
        QVERIFY(QFile::copy(testPluginPath(QStringLiteral("good_effect")), plugin));

        LibraryScanOptions options;
        options.inputs = QStringList{plugin};
        options.scanner = scanner;
        options.layoutBase = scanner;
        options.cacheFile = folder.filePath(QStringLiteral("cache.json"));
        options.sandbox = mode;
        Events events;
        const LibraryScanSummary summary = LibraryScan(options, &events).run();
        QCOMPARE(int(summary.status), int(status));
        QCOMPARE(summary.results.isEmpty() ? QString() : outcomeName(summary.results.at(0).outcome), outcome);
        if (status == LibraryScanStatus::Completed) {
            QCOMPARE(summary.protection, QStringLiteral("none"));
            QVERIFY2(summary.protectionNote.contains(QLatin1String("no scan server")),
                     qPrintable(summary.protectionNote));
        } else {
            QVERIFY2(summary.error.contains(QLatin1String("no scan server")), qPrintable(summary.error));
        }
    }
};

QTEST_GUILESS_MAIN(SlotsTest)
#include "tst_slots.moc"
