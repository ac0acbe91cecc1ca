#pragma once

#include <QByteArray>
#include <QStringList>

namespace ombrel {

// What the launcher keeps of one scanner's standard error, whatever a
// plug-in writes there: the first lines, which carry the scanner's own
// report on the path (a banned plug-in is refused before it is loaded, so
// no plug-in output can come before the ban line), and a bounded tail of
// the rest. Everything in between is dropped as it arrives, so the memory
// a scan costs stays under kHeadBytes + kTailBytes.
class OutputCapture
{
public:
    static constexpr int kHeadLines = 4;
    static constexpr int kHeadBytes = 32 * 1024;
    static constexpr int kTailBytes = 32 * 1024;

    void append(const QByteArray &chunk);

    // The first kHeadLines lines (or kHeadBytes of them), as written.
    const QByteArray &head() const { return m_head; }
    // The last bytes written after the head, at most kTailBytes.
    const QByteArray &tail() const { return m_tail; }
    // The last line written, without its line feed; what the scanner's
    // status line is when it ended on its own.
    QByteArray lastLine() const;
    // How many bytes were dropped between head and tail.
    qint64 dropped() const { return m_dropped; }

private:
    QByteArray m_head;
    QByteArray m_tail;
    int m_headLines = 0;
    qint64 m_dropped = 0;
};

// At most this many bytes of a process's output are kept per plug-in that
// did not end ok, in the cache and the JSON output (ombrel-scan --log).
constexpr int kKeptOutputBytes = 4096;

// The last complete lines of a process's output, within kKeptOutputBytes.
// Bytes that are not UTF-8 are replaced, never dropped silently.
QStringList keptLines(const QByteArray &output);

} // namespace ombrel
