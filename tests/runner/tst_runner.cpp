// The runner and the verdict on a scan's end, in-process: a test double
// stands for the scanner processes, so the queue, the time limits and the
// reading of the exit-code contract are seen without starting any.

#include "common/scannerrun.h"

#include "launcher/cache/scancache.h"
#include "launcher/core/duplicateids.h"
#include "launcher/files/filestamp.h"
#include "launcher/library/libraryscan.h"
#include "launcher/run/scanrunner.h"
#include "launcher/run/scanverdict.h"

#include "contract/lines.h"
#include "contract/outcome.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <map>

using namespace ombrel;

namespace {

// What the double does with a path (its file name up to the first dot):
// "exit:N" ends with N after a moment, "named" ends with 0 and the path's
// group, "hang" ends only when aborted, "deaf" never ends, "unstartable"
// cannot be started.
struct Double
{
    int running = 0;
    int mostAtOnce = 0;
    int made = 0;
    int aborted = 0;
};

class DoubleSlot : public ScanSlot
{
public:
    explicit DoubleSlot(Double &state)
        : m_state(state)
    {
    }
    ~DoubleSlot() override { m_state.running -= m_busy ? 1 : 0; }

    void start(const ScanRequest &request, EndHandler ended) override
    {
        m_ended = std::move(ended);
        m_busy = true;
        m_state.mostAtOnce = qMax(m_state.mostAtOnce, ++m_state.running);
        const QString how = request.path.section(QLatin1Char('/'), -1).section(QLatin1Char('.'), 0, 0);
        if (how.startsWith(QLatin1String("exit:")) || how == QLatin1String("named")) {
            ProcessEnd end;
            end.ending = ProcessEnd::Ending::Exited;
            end.exitCode = how.mid(5).toInt();
            end.record.name = how == QLatin1String("named") ? QStringLiteral("Gain") : QString();
            end.output.append("scanning plugin\n");
            QTimer::singleShot(5, &m_context, [this, end] { finish(end); });
        } else if (how == QLatin1String("unstartable")) {
            ProcessEnd end;
            end.failure = QStringLiteral("cannot start");
            QTimer::singleShot(0, &m_context, [this, end] { finish(end); });
        }
        m_deaf = how == QLatin1String("deaf");
    }

    void abort() override
    {
        ++m_state.aborted;
        if (m_busy && !m_deaf) {
            ProcessEnd end;
            end.ending = ProcessEnd::Ending::Crashed;
            end.signal = 9;
            end.output.append("last words\n");
            QTimer::singleShot(0, &m_context, [this, end] { finish(end); });
        }
    }

private:
    void finish(const ProcessEnd &end)
    {
        if (!m_busy)
            return;
        m_busy = false;
        --m_state.running;
        m_ended(end);
    }

    Double &m_state;
    QObject m_context;
    EndHandler m_ended;
    bool m_busy = false;
    bool m_deaf = false;
};

class DoubleFactory : public ScanSlotFactory
{
public:
    explicit DoubleFactory(int most = 1024)
        : m_most(most)
    {
    }
    int slotCount(int wanted) const override { return qMin(wanted, m_most); }
    std::unique_ptr<ScanSlot> makeSlot() override
    {
        ++state.made;
        return std::make_unique<DoubleSlot>(state);
    }
    Double state;

private:
    int m_most;
};

QList<ScanRequest> requests(const QStringList &hows, int timeLimitMs = 10000)
{
    QList<ScanRequest> list;
    for (int i = 0; i < hows.size(); ++i)
        list << ScanRequest{QStringLiteral("/p%1/").arg(i) + hows.at(i), QStringLiteral("scanner"), QString(),
                            timeLimitMs};
    return list;
}

class CountingEvents : public LibraryScanEvents
{
public:
    void problem(LibraryProblem, const QString &) override { }
    void scansPlanned(int count) override { planned = count; }
    void scanStarted(const QString &) override { }
    void result(const ScanResult &, bool) override { }
    int planned = -1;
};

ProcessEnd exited(int code, const QByteArray &output = "scanning plugin \"/p.so\"\n")
{
    ProcessEnd end;
    end.ending = ProcessEnd::Ending::Exited;
    end.exitCode = code;
    end.output.append(output);
    return end;
}

// The slot hands over what the scan left whatever its exit: a group
// left behind must not turn a failed scan into a success.
ProcessEnd withGroup(ProcessEnd end)
{
    end.record.name = QStringLiteral("Gain");
    return end;
}

} // namespace

class RunnerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void verdict_data()
    {
        QTest::addColumn<ProcessEnd>("end");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<bool>("withReason");
        QTest::addColumn<bool>("withLines");

        const QByteArray said = "scanning plugin \"/p.so\"\n";
        ProcessEnd named = exited(OutcomeOk);
        named.record.name = QStringLiteral("Gain");
        ProcessEnd crashed;
        crashed.ending = ProcessEnd::Ending::Crashed;
        crashed.signal = 11;
        ProcessEnd timedOut = crashed;
        timedOut.ending = ProcessEnd::Ending::TimedOut;
        ProcessEnd notStarted;
        notStarted.failure = QStringLiteral("no private store folder can be made");
        // clang-format off
        QTest::newRow("0 with the group") << named << "ok" << false << false;
        QTest::newRow("0 and OK, no group") << exited(0, said + "\"OK\"\n") << "failed" << true << true;
        QTest::newRow("0 without OK: _exit") << exited(0) << "failed" << false << true;
        QTest::newRow("3") << exited(OutcomeNotFound) << "missing" << false << true;
        QTest::newRow("5 with the ban line") << exited(OutcomeNoName, said + "\"/p.so\" " + banLineText().toUtf8() + "\n") << "banned" << false << true;
        QTest::newRow("5 with the ban text late") << exited(OutcomeNoName, said + "a\nb\nc\n" + banLineText().toUtf8() + "\n") << "not-a-plugin" << false << true;
        QTest::newRow("4") << exited(4) << "failed" << false << true;
        QTest::newRow("4 with a group left") << withGroup(exited(4)) << "failed" << false << true;
        QTest::newRow("6 with a group left") << withGroup(exited(OutcomeError)) << "failed" << false << true;
        QTest::newRow("5 with a group left") << withGroup(exited(OutcomeNoName)) << "not-a-plugin" << false << true;
        QTest::newRow("42") << exited(42) << "failed" << false << true;
        QTest::newRow("signal") << crashed << "crashed" << false << false;
        QTest::newRow("time limit") << timedOut << "timed-out" << false << false;
        QTest::newRow("not started") << notStarted << "failed" << true << false;
        // clang-format on
    }

    void verdict()
    {
        QFETCH(ProcessEnd, end);
        QFETCH(QString, outcome);
        QFETCH(bool, withReason);
        QFETCH(bool, withLines);
        end.scanner = QStringLiteral("/s");
        const ScanResult result = scanVerdict(ScanRequest{QStringLiteral("/p.so"), QStringLiteral("/s"), {}, 1}, end);
        QCOMPARE(outcomeName(result.outcome), outcome);
        QCOMPARE(!result.failure.isEmpty(), withReason);
        QCOMPARE(!result.lines.isEmpty(), withLines);
        QCOMPARE(result.path, QStringLiteral("/p.so"));
        QCOMPARE(result.signal, end.ending == ProcessEnd::Ending::Crashed ? 11 : 0);
        QCOMPARE(result.descriptions.value(0).name,
                 outcome == QLatin1String("ok") ? QStringLiteral("Gain") : QString());
    }

    void queueKeepsToItsSlots_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::addColumn<int>("factoryAllows");
        QTest::addColumn<int>("expectedAtOnce");
        QTest::newRow("fewer scans than jobs") << 8 << 1024 << 5;
        QTest::newRow("two jobs") << 2 << 1024 << 2;
        QTest::newRow("the factory allows one") << 4 << 1 << 1;
    }

    void queueKeepsToItsSlots()
    {
        QFETCH(int, jobs);
        QFETCH(int, factoryAllows);
        QFETCH(int, expectedAtOnce);
        DoubleFactory factory(factoryAllows);
        ScanRunner runner(factory, jobs);
        QStringList ended;
        int started = 0;
        runner.run(
            requests({"exit:0", "exit:3", "exit:5", "unstartable", "exit:4"}),
            [&](const ScanRequest &request, const ScanResult &) { ended << request.path; },
            [&](const ScanRequest &) { ++started; });
        QCOMPARE(ended.size(), 5);
        QCOMPARE(started, 5);
        QCOMPARE(factory.state.mostAtOnce, expectedAtOnce);
        QCOMPARE(factory.state.made, expectedAtOnce); // slots are reused
        QCOMPARE(factory.state.running, 0);
    }

    void timeLimits_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("withLines");
        QTest::addColumn<int>("slotsMade");
        QTest::newRow("ends when aborted") << "hang" << true << 1;
        // Given up after the grace; the next scan gets a new slot.
        QTest::newRow("never ends") << "deaf" << false << 2;
    }

    void timeLimits()
    {
        QFETCH(QString, how);
        QFETCH(bool, withLines);
        QFETCH(int, slotsMade);
        DoubleFactory factory;
        ScanRunner runner(factory, 1);
        runner.setAbortGrace(50);
        QList<ScanResult> results;
        runner.run(requests({how, "exit:0"}, 30),
                   [&](const ScanRequest &, const ScanResult &result) { results << result; });
        QCOMPARE(results.size(), 2);
        QCOMPARE(outcomeName(results.at(0).outcome), QStringLiteral("timed-out"));
        QCOMPARE(!results.at(0).lines.isEmpty(), withLines);
        QCOMPARE(outcomeName(results.at(1).outcome), QStringLiteral("failed")); // exit 0 without a record
        QCOMPARE(factory.state.made, slotsMade);
    }

    // A whole library scan in-process, its scans run by the double: each
    // file's verdict, no scan for a file that no scanner loads, and, once
    // the cache holds the results, a scan only for the file that was
    // missing (a missing file is never cached).
    void libraryScan()
    {
        QTemporaryDir plugins;
        QTemporaryDir cache;
        QVERIFY(plugins.isValid() && cache.isValid());
        const QStringList scanned = {"named.so", "exit:3.so", "exit:5.so", "exit:6.so"};
        for (const QString &name : scanned)
            QVERIFY(QFile::copy(testPluginPath(QStringLiteral("good_effect")), plugins.filePath(name)));
        QFile text(plugins.filePath(QStringLiteral("notes.so")));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a library\n") > 0);
        text.close();

        LibraryScanOptions options;
        options.inputs = QStringList{plugins.path()};
        options.formats = QStringList{QStringLiteral("vst2")};
        options.scanner = QStringLiteral(SCANNER_PATH);
        options.cacheFile = cache.filePath(QStringLiteral("cache.json"));
        for (const int expectedPlanned : {4, 1}) {
            DoubleFactory factory;
            CountingEvents events;
            const LibraryScanSummary summary = LibraryScan(options, &events, &factory).run();
            QCOMPARE(int(summary.status), int(LibraryScanStatus::Completed));
            QCOMPARE(events.planned, expectedPlanned);
            QMap<QString, QString> outcomes;
            for (const ScanResult &result : summary.results)
                outcomes.insert(QFileInfo(result.path).fileName(),
                                outcomeName(result.outcome) + QLatin1Char(' ') + result.descriptions.value(0).name);
            const QMap<QString, QString> expected = {{"named.so", "ok Gain"},
                                                     {"exit:3.so", "missing "},
                                                     {"exit:5.so", "not-a-plugin "},
                                                     {"exit:6.so", "failed "},
                                                     {"notes.so", "not-a-plugin "}};
            QCOMPARE(outcomes, expected);
        }
    }

    void cancelEndsTheRunAtOnce()
    {
        // Two scans that would never end, and one that ends: cancelled from
        // its result, the run returns without waiting for the others.
        DoubleFactory factory;
        ScanRunner runner(factory, 3);
        int results = 0;
        runner.run(requests({"deaf", "hang", "exit:0", "exit:0"}), [&](const ScanRequest &, const ScanResult &) {
            ++results;
            runner.cancel();
        });
        QCOMPARE(results, 1);
        QVERIFY(runner.wasCancelled());
        QCOMPARE(factory.state.aborted, 2);
        QCOMPARE(factory.state.running, 0); // every slot went with the run
    }

    // What a scan wrote is untrusted: read field by field, and what is not
    // of the field's type, or no number a field can hold, stays absent.
    void descriptionsAsAScanWroteThem_data()
    {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QByteArray>("read");
        // clang-format off
        QTest::newRow("every type") << QByteArray(R"({"format":"vst2","id":"5","name":"A","audioInputs":2,"editor":true})")
                                    << QByteArray(R"({"format":"vst2","id":"5","name":"A","audioInputs":2,"editor":true})");
        QTest::newRow("wrong types") << QByteArray(R"({"name":"A","id":7,"audioInputs":"2","editor":1,"kind":null})")
                                     << QByteArray(R"({"name":"A"})");
        QTest::newRow("past 2^53") << QByteArray(R"({"name":"A","parameters":1e300,"programs":-1e19})")
                                   << QByteArray(R"({"name":"A"})");
        QTest::newRow("unknown key") << QByteArray(R"({"name":"A","evil":"x"})") << QByteArray(R"({"name":"A"})");
        // clang-format on
    }

    void descriptionsAsAScanWroteThem()
    {
        QFETCH(QByteArray, written);
        QFETCH(QByteArray, read);
        const QJsonObject object = descriptionToJson(descriptionFromJson(QJsonDocument::fromJson(written).object()));
        QCOMPARE(object, QJsonDocument::fromJson(read).object());
    }

    // A cache of the version before descriptions: its failures stand, its
    // ok results (no descriptions) are scanned again, and it says so once.
    void earlierCacheIsReadNotLost()
    {
        QTemporaryDir dir;
        const QString named = dir.filePath("named.so");
        const QString crashed = dir.filePath("crashed.so");
        for (const QString &file : {named, crashed}) {
            QFile plugin(file);
            QVERIFY(plugin.open(QIODevice::WriteOnly) && plugin.write("x") == 1);
        }
        const auto entry = [](const QString &path, const char *result) {
            return QJsonObject{
                {"stamp", fileStamp(path)},
                {"scanner", "set"},
                {"result", QJsonDocument::fromJson(QByteArray(result).replace("%P", path.toUtf8())).object()}};
        };
        const QJsonObject root{
            {"version", 1},
            {"entries",
             QJsonObject{
                 {named,
                  entry(named,
                        R"({"path":"%P","outcome":"ok","milliseconds":1,"name":"N",)"
                        R"("pluginfn":"%P","instrument":false,"vendor":"V","inchans":2,)"
                        R"("outchans":2,"type":"VST"})")},
                 {crashed, entry(crashed, R"({"path":"%P","outcome":"crashed","milliseconds":1,"signal":11})")}}}};
        QFile file(dir.filePath("cache.json"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(root).toJson()) > 0);
        file.close();
        ScanCache cache(file.fileName(), "set");
        QString warning;
        cache.load(&warning);
        QVERIFY2(warning.contains("earlier version") && warning.contains("scanned again once"), qPrintable(warning));
        ScanResult result;
        QVERIFY(!cache.lookupCurrent(named, "vst2", &result));
        QVERIFY(cache.lookupCurrent(crashed, "vst2", &result));
        QCOMPARE(result.signal, 11);
        QVERIFY(!cache.lookupCurrent(crashed, "ladspa", &result)); // another format's result is not this one
    }

    // Hosts keep one plug-in per ID and format: only such shares are named.
    void sharedIdsAreNamed()
    {
        const auto result = [](const char *path, QList<QPair<const char *, const char *>> plugins) {
            ScanResult r;
            r.path = QString::fromLatin1(path);
            r.outcome = ScanOutcome::Ok;
            for (const auto &[format, id] : plugins) {
                PluginDescription d;
                d.format = QString::fromLatin1(format);
                d.id = QString::fromLatin1(id);
                r.descriptions << d;
            }
            return r;
        };
        const QList<DuplicateId> shared = duplicateIds({
            result("a.so", {{"vst2", "1"}}),
            result("b.so", {{"vst2", "1"}, {"vst2", ""}}),
            result("c.so", {{"ladspa", "1"}, {"ladspa", "2"}}),
            result("d.so", {{"vst2", ""}}),
            result("e.so", {{"ladspa", "2"}}),
        });
        QCOMPARE(shared.size(), 2);
        QCOMPARE(shared.at(0).format + shared.at(0).id + shared.at(0).files.join(','),
                 QStringLiteral("ladspa2c.so,e.so"));
        QCOMPARE(shared.at(1).format + shared.at(1).id + shared.at(1).files.join(','),
                 QStringLiteral("vst21a.so,b.so"));
    }
};

QTEST_GUILESS_MAIN(RunnerTest)
#include "tst_runner.moc"
