#include "launcher/run/outputcapture.h"

namespace ombrel {

void OutputCapture::append(const QByteArray &chunk)
{
    int used = 0;
    while (m_headLines < kHeadLines && m_head.size() < kHeadBytes && used < chunk.size()) {
        const int newline = chunk.indexOf('\n', used);
        const int end = newline < 0 ? chunk.size() : newline + 1;
        const int take = qMin(end - used, kHeadBytes - int(m_head.size()));
        m_head.append(chunk.constData() + used, take);
        used += take;
        if (newline >= 0 && used == end)
            ++m_headLines;
    }
    const int rest = int(chunk.size()) - used;
    if (rest <= 0)
        return;
    if (rest >= kTailBytes) {
        m_dropped += m_tail.size() + rest - kTailBytes;
        m_tail = chunk.right(kTailBytes);
        return;
    }
    m_tail.append(chunk.constData() + used, rest);
    if (m_tail.size() > kTailBytes) {
        const int excess = int(m_tail.size()) - kTailBytes;
        m_dropped += excess;
        m_tail.remove(0, excess);
    }
}

QByteArray OutputCapture::lastLine() const
{
    QByteArray text = m_tail.isEmpty() ? m_head : m_tail;
    if (text.endsWith('\n'))
        text.chop(1);
    return text.mid(text.lastIndexOf('\n') + 1);
}

QStringList keptLines(const QByteArray &output)
{
    QByteArray tail = output.right(kKeptOutputBytes);
    // A line cut at the front would mislead; start at the next whole one.
    if (tail.size() < output.size()) {
        const int newline = tail.indexOf('\n');
        tail = newline < 0 ? QByteArray() : tail.mid(newline + 1);
    }
    QStringList lines = QString::fromUtf8(tail).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace ombrel
