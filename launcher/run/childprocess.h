#pragma once

#include <QProcess>

namespace ombrel {

// A process the launcher starts for scans (a scanner, or a scan server),
// in a process group of its own: a terminal's Ctrl-C reaches the launcher
// alone, which then decides what becomes of the scans in flight, and
// killing the group also ends what a plug-in started. On Linux it dies
// with the launcher, whatever kills it (strictly: when the thread that
// started it ends).
class ChildProcess : public QProcess
{
public:
    // `mergeOutput`: its standard output goes where its standard error
    // goes (a scanner's, which may carry a plug-in's own output).
    explicit ChildProcess(bool mergeOutput);

    // SIGKILL to its group and to it, only while it runs: once reaped, the
    // id may belong to another process.
    void killGroup();

#if defined(Q_OS_UNIX) && QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
protected:
    void setupChildProcess() override;
#endif

private:
    qint64 m_launcher;
    bool m_mergeOutput;
};

} // namespace ombrel
