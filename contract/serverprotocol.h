#pragma once

#include <QByteArray>
#include <QList>

#include <cstring>

namespace ombrel::scanserver {

// What the launcher and a scan server say to each other over the server's
// standard input and output. Frames both ways: one type byte, the
// payload's length in four bytes (least significant first), the payload.
// Payloads are fields separated by NUL bytes; paths are the file system's
// bytes, as a scanner's argument would be.
enum class Frame : char {
    // launcher -> server
    Scan = 'S',  // scanner, path, memory limit in bytes (decimal; 0: none), format
                 // ("vst2", "clap", ...; the scan describes the file as that format)
    Abort = 'A', // kill the scan in flight (no payload)
    // server -> launcher
    Ready = 'R',  // the server runs and waits for a scan (no payload)
    Output = 'O', // what the scan printed, on stdout or stderr, as it came
    Ended = 'E',  // "exit" or "signal", the number, "1" when the memory limit was hit else "0",
                  // the path's group as the store holds it after an exit, whatever its code (a JSON object
                  // of the store's keys, contract/storerecord.h; empty when there is none), the
                  // file's description (contract/filedescription.h; empty when none was left)
    NotRun = 'F', // the scanner could not be started: why
};

constexpr int kHeaderSize = 5;
// A frame larger than this is a broken stream, not a message.
constexpr quint32 kMaxPayload = 16 * 1024 * 1024;

inline QByteArray frame(Frame type, const QByteArray &payload = QByteArray())
{
    QByteArray bytes(kHeaderSize, '\0');
    bytes[0] = char(type);
    const quint32 size = quint32(payload.size());
    for (int i = 0; i < 4; ++i)
        bytes[1 + i] = char((size >> (8 * i)) & 0xff);
    return bytes + payload;
}

inline QByteArray joinFields(const QList<QByteArray> &fields)
{
    QByteArray joined;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            joined += '\0';
        joined += fields.at(i);
    }
    return joined;
}

inline QList<QByteArray> splitFields(const QByteArray &payload)
{
    return payload.split('\0');
}

// Cuts a byte stream into frames as it arrives.
class FrameReader
{
public:
    void append(const QByteArray &bytes) { m_buffer += bytes; }

    // The next whole frame, if one has arrived. False with *broken set
    // when the stream cannot be a stream of frames.
    bool next(Frame *type, QByteArray *payload, bool *broken)
    {
        *broken = false;
        if (m_buffer.size() < kHeaderSize)
            return false;
        quint32 size = 0;
        for (int i = 0; i < 4; ++i)
            size |= quint32(quint8(m_buffer.at(1 + i))) << (8 * i);
        if (size > kMaxPayload) {
            *broken = true;
            return false;
        }
        if (quint32(m_buffer.size() - kHeaderSize) < size)
            return false;
        *type = Frame(m_buffer.at(0));
        *payload = m_buffer.mid(kHeaderSize, int(size));
        m_buffer.remove(0, kHeaderSize + int(size));
        return true;
    }

private:
    QByteArray m_buffer;
};

} // namespace ombrel::scanserver
