#include "launcher/files/elfexports.h"

#include "launcher/files/binaryformat.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>

namespace ombrel {

namespace {

// Far beyond the tables of real plug-ins (a few KiB to a few hundred KiB);
// a file claiming more is not read further.
constexpr qint64 kMaxTableBytes = 8 * 1024 * 1024;
constexpr quint32 kMaxSections = 65535;

enum : quint32 { ShtDynamic = 6, ShtDynsym = 11 };
// A position-independent program is a shared object that says so here.
constexpr quint64 kDtFlags1 = 0x6ffffffb;
constexpr quint64 kDf1Pie = 0x08000000;
enum : quint16 { EtDyn = 3 };
enum : quint8 { StbGlobal = 1, StbWeak = 2, StbGnuUnique = 10 };
enum : quint8 { StvDefault = 0, StvProtected = 3 };

// The fields of an ELF file in its own word size and byte order.
class ElfReader
{
public:
    ElfReader(QIODevice *file, const QList<QByteArray> &wanted)
        : m_file(file)
        , m_wanted(wanted)
    {
    }

    // Those of the wanted symbols that the last entryPoints() found exported.
    QList<QByteArray> found() const { return m_found; }

    ElfEntryPoints entryPoints()
    {
        const QByteArray header = read(0, 64);
        if (header.size() < 52 || !header.startsWith("\177ELF") || (header.at(4) != 1 && header.at(4) != 2)
            || (header.at(5) != 1 && header.at(5) != 2))
            return ElfEntryPoints::Unknown;
        m_wide = header.at(4) == 2;
        m_bigEndian = header.at(5) == 2;
        if (m_wide && header.size() < 64)
            return ElfEntryPoints::Unknown;
        if (field(header, 16, 2) != EtDyn)
            return ElfEntryPoints::NotALibrary;

        const quint64 sectionsAt = m_wide ? field(header, 0x28, 8) : field(header, 0x20, 4);
        const quint64 entrySize = field(header, m_wide ? 0x3a : 0x2e, 2);
        quint64 count = field(header, m_wide ? 0x3c : 0x30, 2);
        if (sectionsAt == 0 || entrySize < (m_wide ? 64u : 40u))
            return ElfEntryPoints::Unknown; // stripped of section headers: only loading tells
        // Many sections: the count is in the first section header's size.
        if (count == 0)
            count = sectionField(read(qint64(sectionsAt), qint64(entrySize)), 0, Size);
        if (count == 0 || count > kMaxSections || sectionsAt > quint64(m_file->size()))
            return ElfEntryPoints::Unknown;
        const QByteArray sections = read(qint64(sectionsAt), qint64(count * entrySize));
        if (quint64(sections.size()) != count * entrySize)
            return ElfEntryPoints::Unknown;

        for (quint64 i = 0; i < count; ++i) {
            const int at = int(i * entrySize);
            if (sectionField(sections, at, Type) == ShtDynamic && isProgram(table(sections, at)))
                return ElfEntryPoints::NotALibrary;
        }
        for (quint64 i = 0; i < count; ++i) {
            const int at = int(i * entrySize);
            if (sectionField(sections, at, Type) != ShtDynsym)
                continue;
            const quint64 link = sectionField(sections, at, Link);
            if (link >= count)
                return ElfEntryPoints::Unknown;
            const QByteArray symbols = table(sections, at);
            const QByteArray names = table(sections, int(link * entrySize));
            if (symbols.isNull() || names.isNull())
                return ElfEntryPoints::Unknown;
            return exportsEntryPoint(symbols, names) ? ElfEntryPoints::Exported : ElfEntryPoints::NotExported;
        }
        // A library without dynamic symbols exports nothing at all.
        return ElfEntryPoints::NotExported;
    }

private:
    enum SectionField { Type, Offset, Size, Link };

    QByteArray read(qint64 offset, qint64 size) const
    {
        if (offset < 0 || size < 0 || size > kMaxTableBytes || !m_file->seek(offset))
            return QByteArray();
        return m_file->read(size);
    }

    quint64 field(const QByteArray &bytes, int offset, int size) const
    {
        if (offset < 0 || offset + size > bytes.size())
            return 0;
        const uchar *at = reinterpret_cast<const uchar *>(bytes.constData()) + offset;
        switch (size) {
        case 1:
            return *at;
        case 2:
            return m_bigEndian ? qFromBigEndian<quint16>(at) : qFromLittleEndian<quint16>(at);
        case 4:
            return m_bigEndian ? qFromBigEndian<quint32>(at) : qFromLittleEndian<quint32>(at);
        default:
            return m_bigEndian ? qFromBigEndian<quint64>(at) : qFromLittleEndian<quint64>(at);
        }
    }

    quint64 sectionField(const QByteArray &sections, int at, SectionField which) const
    {
        // Offsets within a section header, 64-bit and 32-bit.
        switch (which) {
        case Type:
            return field(sections, at + 4, 4);
        case Offset:
            return m_wide ? field(sections, at + 0x18, 8) : field(sections, at + 0x10, 4);
        case Size:
            return m_wide ? field(sections, at + 0x20, 8) : field(sections, at + 0x14, 4);
        case Link:
            return m_wide ? field(sections, at + 0x28, 4) : field(sections, at + 0x18, 4);
        }
        return 0;
    }

    // A section's bytes; null when it lies outside the file or is too large.
    QByteArray table(const QByteArray &sections, int at) const
    {
        const quint64 offset = sectionField(sections, at, Offset);
        const quint64 size = sectionField(sections, at, Size);
        const quint64 fileSize = quint64(m_file->size());
        if (offset > fileSize || size > fileSize - offset || size > quint64(kMaxTableBytes))
            return QByteArray();
        QByteArray bytes = read(qint64(offset), qint64(size));
        return quint64(bytes.size()) == size ? (bytes.isNull() ? QByteArray("") : bytes) : QByteArray();
    }

    bool isProgram(const QByteArray &dynamic) const
    {
        const int entrySize = m_wide ? 16 : 8;
        const int word = entrySize / 2;
        for (int at = 0; at + entrySize <= dynamic.size(); at += entrySize) {
            if (field(dynamic, at, word) == kDtFlags1)
                return field(dynamic, at + word, word) & kDf1Pie;
        }
        return false;
    }

    bool exportsEntryPoint(const QByteArray &symbols, const QByteArray &names)
    {
        const int entrySize = m_wide ? 24 : 16;
        for (int at = 0; at + entrySize <= symbols.size(); at += entrySize) {
            const quint64 name = field(symbols, at, 4);
            const quint64 info = field(symbols, at + (m_wide ? 4 : 12), 1);
            const quint64 other = field(symbols, at + (m_wide ? 5 : 13), 1);
            const quint64 section = field(symbols, at + (m_wide ? 6 : 14), 2);
            const quint64 binding = info >> 4;
            const quint64 visibility = other & 3;
            if (section == 0 || (binding != StbGlobal && binding != StbWeak && binding != StbGnuUnique)
                || (visibility != StvDefault && visibility != StvProtected) || name >= quint64(names.size()))
                continue;
            const char *text = names.constData() + name;
            const QByteArray symbol(text, int(qstrnlen(text, uint(names.size() - int(name)))));
            if (m_wanted.contains(symbol) && !m_found.contains(symbol))
                m_found << symbol;
        }
        return !m_found.isEmpty();
    }

    QIODevice *m_file;
    QList<QByteArray> m_wanted;
    QList<QByteArray> m_found;
    bool m_wide = false;
    bool m_bigEndian = false;
};

} // namespace

ElfEntryPoints elfEntryPoints(QIODevice *file)
{
    if (!file || !file->isOpen() || file->isSequential())
        return ElfEntryPoints::Unknown;
    return ElfReader(file, {"VSTPluginMain", "main"}).entryPoints();
}

ElfEntryPoints elfEntryPoints(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ElfEntryPoints::Unknown;
    return elfEntryPoints(&file);
}

ElfEntryPoints elfExports(const QString &path, const QList<QByteArray> &symbols, QList<QByteArray> *found)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ElfEntryPoints::Unknown;
    ElfReader reader(&file, symbols);
    const ElfEntryPoints entryPoints = reader.entryPoints();
    *found = reader.found();
    return entryPoints;
}

QString notAPluginCause(const QString &path)
{
    const BinaryFormat format = readBinaryFormat(path);
    if (format.container == Container::None)
        return QStringLiteral("not a library (no executable format)");
    if (format.container != Container::Elf)
        return QString();
    switch (elfEntryPoints(path)) {
    case ElfEntryPoints::NotALibrary:
        return QStringLiteral("not a library (an ELF program or object file)");
    case ElfEntryPoints::NotExported:
        return QStringLiteral("no VST 2 entry point: probably a library plug-ins load");
    case ElfEntryPoints::Exported:
    case ElfEntryPoints::Unknown:
        break;
    }
    return QString();
}

} // namespace ombrel
