#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

// A lenient reader for the JSON5 that bundles' moduleinfo.json files are
// written in (Qt's JSON reader stops at their trailing commas): comments,
// trailing commas, unquoted keys, single-quoted and multi-line strings, hex
// numbers, a leading '+', leading or trailing '.', Infinity and NaN.
// Control characters inside strings are taken as they are, since the usual
// writer does not escape them. Nesting deeper than 64 levels is refused,
// so a hostile file cannot exhaust the stack.
//
// Returns false, with *error naming the place and what was expected there,
// when the text is not one JSON5 value.
bool parseJson5(const QByteArray &text, QJsonValue *value, QString *error);
