#include "launcher/report/tablefit.h"

namespace ombrel {

namespace {

constexpr int kGap = 2;
const QChar kCutMark(0x2026);

QString cut(const QString &cell, int width, ColumnFit::Keep keep)
{
    if (cell.size() <= width)
        return cell;
    if (width <= 1)
        return QString(width, kCutMark);
    return keep == ColumnFit::Start ? cell.left(width - 1) + kCutMark : kCutMark + cell.right(width - 1);
}

// The column that gives way next: the lowest rank that can still give, and
// within it the widest; -1 when none can.
int nextToNarrow(const QVector<int> &widths, const QVector<int> &floors, const QVector<ColumnFit> &fits)
{
    int chosen = -1;
    for (int i = 0; i < widths.size(); ++i) {
        if (fits.value(i).rank == 0 || widths.at(i) <= floors.at(i))
            continue;
        if (chosen < 0 || fits.at(i).rank < fits.at(chosen).rank
            || (fits.at(i).rank == fits.at(chosen).rank && widths.at(i) > widths.at(chosen)))
            chosen = i;
    }
    return chosen;
}

} // namespace

QStringList fitTable(const QList<QStringList> &rows, const QVector<ColumnFit> &fits, int maxWidth)
{
    int columns = 0;
    for (const QStringList &row : rows)
        columns = qMax(columns, int(row.size()));
    QVector<int> widths(columns, 0);
    for (const QStringList &row : rows) {
        for (int i = 0; i < row.size(); ++i)
            widths[i] = qMax(widths.at(i), int(row.at(i).size()));
    }
    QVector<int> floors(columns);
    for (int i = 0; i < columns; ++i)
        floors[i] = qMin(widths.at(i), fits.value(i).minWidth);

    int total = columns > 0 ? (columns - 1) * kGap : 0;
    for (int width : widths)
        total += width;
    // One character at a time, so that columns of one rank end up even.
    while (maxWidth > 0 && total > maxWidth) {
        const int i = nextToNarrow(widths, floors, fits);
        if (i < 0)
            break;
        --widths[i];
        --total;
    }

    QStringList lines;
    for (const QStringList &row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i) {
            const QString cell = cut(row.at(i), widths.at(i), fits.value(i).keep);
            line += i + 1 < row.size() ? cell.leftJustified(widths.at(i) + kGap) : cell;
        }
        lines << line;
    }
    return lines;
}

} // namespace ombrel
