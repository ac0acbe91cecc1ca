#include "scanneroutput.h"

void ScannerOutput::append(const QByteArray &chunk)
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

QByteArray ScannerOutput::lastLine() const
{
    QByteArray text = m_tail.isEmpty() ? m_head : m_tail;
    if (text.endsWith('\n'))
        text.chop(1);
    return text.mid(text.lastIndexOf('\n') + 1);
}
