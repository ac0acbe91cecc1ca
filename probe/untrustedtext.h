#pragma once

#include <QString>

// A plug-in's strings are untrusted: at most this many bytes are taken,
// and no terminating zero is assumed beyond them.
constexpr int kMaxUntrustedTextBytes = 4096;

// The text at `bytes` up to its zero byte or the bound, as UTF-8 (bad
// sequences become replacement characters); empty for a null pointer.
QString untrustedText(const char *bytes);
