#pragma once

#include <QString>

// What VST 3 class records say, in the words a description uses; shared by
// the scan of a loaded module and the reading of its moduleinfo.json.

// The class ID as hosts write it: the 16 bytes in memory order, as 32
// upper-case hex digits.
QString vst3ClassId(const char *cid);

// The kind from the sub-categories ("Fx|Delay", "Instrument|Synth"): an
// instrument when one '|'-separated token is "Instrument" ("Fx|Instrument"
// is an effect that also loads as one, so still an instrument to a host
// that lists it among them), an analyzer for "Analyzer" alone or under Fx,
// an effect otherwise.
QString vst3Kind(const QString &subCategories);
