#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

namespace ombrel {

// What a file's first bytes say it is built for, read without loading it:
// the launcher picks the scanner that can load the file, and names what no
// installed scanner can.

enum class Container {
    Unreadable, // could not be opened or read: left to a scanner to report
    None,       // no executable format: text, empty, anything else
    Elf,
    Pe,    // Windows
    MachO, // macOS; a universal file lists several architectures
};

// Processors by the names their file formats share; Other keeps the raw number.
enum class Cpu { Other, X86, Arm, PowerPC, Mips, RiscV, S390, Sparc, LoongArch, Itanium };

struct Architecture
{
    Cpu cpu = Cpu::Other;
    int bits = 0;        // 32 or 64; 0 where the format does not say
    quint32 machine = 0; // the format's own number, for Cpu::Other

    bool operator==(const Architecture &other) const
    {
        return cpu == other.cpu && bits == other.bits && (cpu != Cpu::Other || machine == other.machine);
    }
};

struct BinaryFormat
{
    Container container = Container::None;
    QList<Architecture> architectures; // one, several for a universal Mach-O, none for None

    // Whether a process of this format can load a library of that one.
    bool canLoad(const BinaryFormat &library) const;
};

// Reads at most a few hundred bytes of the file.
BinaryFormat readBinaryFormat(const QString &path);

// The same from bytes already read; `file` gives the rest when the header
// points past them (a PE header may), and may be null.
BinaryFormat binaryFormatOf(const QByteArray &head, QIODevice *file = nullptr);

// "32-bit x86", "64-bit ARM", "Windows, 64-bit x86",
// "macOS, 64-bit x86 + 64-bit ARM"; empty for None and Unreadable.
QString describe(const BinaryFormat &format);

} // namespace ombrel
