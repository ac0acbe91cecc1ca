#pragma once

#include <QString>

// The INI group a plug-in's record lives under: the lower-case hex SHA-1 of
// the path as a Qt data stream serialises it (big-endian byte count, then
// big-endian UTF-16 code units). Hosts compute the same key to find it, so
// the path is taken exactly as given: two spellings of one file differ.
QString settingsKeyForPath(const QString &path);
