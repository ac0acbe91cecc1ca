#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

namespace ombrel {

// How a column of a table for people gives way when the rows are wider than
// the terminal.
struct ColumnFit
{
    enum Keep { Start, End };
    // Columns of a lower rank give way first, the widest of a rank first;
    // 0: never cut.
    int rank = 0;
    // Never cut below this (nor below the column's widest cell).
    int minWidth = 0;
    // What a cut cell keeps: a name its start, a path its end (the file name).
    Keep keep = Start;
};

// The rows (the header first) as lines, columns two spaces apart. Each
// column is as wide as its widest cell, unless the lines would then be
// wider than maxWidth (0: no limit): then the columns give way as `fits`
// says, and a cell wider than its column is cut, the cut marked with "…".
// The last column is not padded. Lines still wider than maxWidth are those
// whose columns are all down to their minimum.
QStringList fitTable(const QList<QStringList> &rows, const QVector<ColumnFit> &fits, int maxWidth);

} // namespace ombrel
