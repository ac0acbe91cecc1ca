#include "launcher/files/binaryformat.h"

#include <QFile>
#include <QStringList>

#include <iterator>

namespace ombrel {

namespace {

// Enough for every header read here but a PE header placed far into the
// file, which is then read on its own.
constexpr qint64 kHeadSize = 512;

quint32 readUint(const QByteArray &bytes, int offset, int size, bool bigEndian)
{
    quint32 value = 0;
    for (int i = 0; i < size; ++i) {
        const quint32 byte = quint8(bytes.at(offset + (bigEndian ? i : size - 1 - i)));
        value = (value << 8) | byte;
    }
    return value;
}

struct MachineEntry
{
    quint32 machine;
    Cpu cpu;
    int bits; // 0: the container says
};

Architecture lookup(const MachineEntry *table, int size, quint32 machine, int bits)
{
    for (int i = 0; i < size; ++i) {
        if (table[i].machine == machine)
            return {table[i].cpu, table[i].bits ? table[i].bits : bits, machine};
    }
    return {Cpu::Other, bits, machine};
}

const MachineEntry kElfMachines[] = {
    {3, Cpu::X86, 0},      {62, Cpu::X86, 0},        {40, Cpu::Arm, 0},     {183, Cpu::Arm, 0}, {20, Cpu::PowerPC, 0},
    {21, Cpu::PowerPC, 0}, {8, Cpu::Mips, 0},        {243, Cpu::RiscV, 0},  {22, Cpu::S390, 0}, {2, Cpu::Sparc, 0},
    {43, Cpu::Sparc, 0},   {258, Cpu::LoongArch, 0}, {50, Cpu::Itanium, 0},
};

const MachineEntry kPeMachines[] = {
    {0x14c, Cpu::X86, 32},    {0x8664, Cpu::X86, 64},   {0xaa64, Cpu::Arm, 64},       {0xa641, Cpu::Arm, 64},
    {0x1c0, Cpu::Arm, 32},    {0x1c2, Cpu::Arm, 32},    {0x1c4, Cpu::Arm, 32},        {0x200, Cpu::Itanium, 64},
    {0x5032, Cpu::RiscV, 32}, {0x5064, Cpu::RiscV, 64}, {0x6264, Cpu::LoongArch, 64},
};

// Mach-O CPU types without the 64-bit ABI flag.
const MachineEntry kMachOCpus[] = {
    {7, Cpu::X86, 0},
    {12, Cpu::Arm, 0},
    {18, Cpu::PowerPC, 0},
};

Architecture machOArchitecture(quint32 cpuType)
{
    constexpr quint32 kAbi64 = 0x01000000;
    return lookup(kMachOCpus, int(std::size(kMachOCpus)), cpuType & 0x00ffffff, (cpuType & kAbi64) ? 64 : 32);
}

BinaryFormat elf(const QByteArray &head)
{
    const char wordSize = head.at(4);
    const char byteOrder = head.at(5);
    if (head.size() < 20 || (wordSize != 1 && wordSize != 2) || (byteOrder != 1 && byteOrder != 2))
        return {};
    const quint32 machine = readUint(head, 18, 2, byteOrder == 2);
    return {Container::Elf, {lookup(kElfMachines, int(std::size(kElfMachines)), machine, wordSize == 2 ? 64 : 32)}};
}

BinaryFormat pe(const QByteArray &head, QIODevice *file)
{
    // The DOS header's last field says where the PE header starts.
    if (head.size() < 0x40)
        return {};
    const quint32 offset = readUint(head, 0x3c, 4, false);
    QByteArray header;
    if (qint64(offset) + 6 <= head.size())
        header = head.mid(int(offset), 6);
    else if (file && offset < (1u << 24) && file->seek(offset))
        header = file->read(6);
    if (header.size() < 6 || !header.startsWith(QByteArray("PE\0\0", 4)))
        return {}; // a DOS program, or no program at all
    return {Container::Pe, {lookup(kPeMachines, int(std::size(kPeMachines)), readUint(header, 4, 2, false), 0)}};
}

BinaryFormat machO(const QByteArray &head)
{
    constexpr quint32 kMagic32 = 0xfeedface;
    constexpr quint32 kMagic64 = 0xfeedfacf;
    constexpr quint32 kUniversal = 0xcafebabe;
    constexpr quint32 kUniversal64 = 0xcafebabf;
    if (head.size() < 8)
        return {};
    const quint32 little = readUint(head, 0, 4, false);
    const quint32 big = readUint(head, 0, 4, true);
    if (little == kMagic32 || little == kMagic64)
        return {Container::MachO, {machOArchitecture(readUint(head, 4, 4, false))}};
    if (big == kMagic32 || big == kMagic64)
        return {Container::MachO, {machOArchitecture(readUint(head, 4, 4, true))}};
    if (big != kUniversal && big != kUniversal64)
        return {};
    // A Java class file starts alike; its version in place of the count is
    // 45 or more, far beyond the few architectures a universal file holds.
    const quint32 count = readUint(head, 4, 4, true);
    const int entrySize = big == kUniversal ? 20 : 32;
    if (count == 0 || count > 30 || 8 + qint64(count) * entrySize > head.size())
        return {};
    BinaryFormat format{Container::MachO, {}};
    for (quint32 i = 0; i < count; ++i)
        format.architectures << machOArchitecture(readUint(head, 8 + int(i) * entrySize, 4, true));
    return format;
}

QString cpuName(Cpu cpu)
{
    switch (cpu) {
    case Cpu::X86:
        return QStringLiteral("x86");
    case Cpu::Arm:
        return QStringLiteral("ARM");
    case Cpu::PowerPC:
        return QStringLiteral("PowerPC");
    case Cpu::Mips:
        return QStringLiteral("MIPS");
    case Cpu::RiscV:
        return QStringLiteral("RISC-V");
    case Cpu::S390:
        return QStringLiteral("s390");
    case Cpu::Sparc:
        return QStringLiteral("SPARC");
    case Cpu::LoongArch:
        return QStringLiteral("LoongArch");
    case Cpu::Itanium:
        return QStringLiteral("Itanium");
    case Cpu::Other:
        break;
    }
    return QString();
}

QString describe(const Architecture &architecture)
{
    const QString cpu = architecture.cpu == Cpu::Other ? QStringLiteral("machine 0x%1").arg(architecture.machine, 0, 16)
                                                       : cpuName(architecture.cpu);
    return architecture.bits ? QStringLiteral("%1-bit %2").arg(architecture.bits).arg(cpu) : cpu;
}

} // namespace

bool BinaryFormat::canLoad(const BinaryFormat &library) const
{
    if (container != library.container || container == Container::None || container == Container::Unreadable)
        return false;
    for (const Architecture &own : architectures) {
        if (library.architectures.contains(own))
            return true;
    }
    return false;
}

BinaryFormat binaryFormatOf(const QByteArray &head, QIODevice *file)
{
    if (head.startsWith("\177ELF") && head.size() >= 6)
        return elf(head);
    if (head.startsWith("MZ"))
        return pe(head, file);
    return machO(head);
}

BinaryFormat readBinaryFormat(const QString &path)
{
    // Unbuffered: a buffered read would fetch many times what is needed.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {Container::Unreadable, {}};
    const QByteArray head = file.read(kHeadSize);
    if (file.error() != QFileDevice::NoError)
        return {Container::Unreadable, {}};
    return binaryFormatOf(head, &file);
}

QString describe(const BinaryFormat &format)
{
    QStringList architectures;
    for (const Architecture &architecture : format.architectures)
        architectures << describe(architecture);
    const QString joined = architectures.join(QStringLiteral(" + "));
    switch (format.container) {
    case Container::Elf:
        return joined;
    case Container::Pe:
        return QStringLiteral("Windows, ") + joined;
    case Container::MachO:
        return QStringLiteral("macOS, ") + joined;
    case Container::None:
    case Container::Unreadable:
        break;
    }
    return QString();
}

} // namespace ombrel
