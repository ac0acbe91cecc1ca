#pragma once

#include "contract/filedescription.h"

#include <QString>

// Describes a VST 3 bundle (a *.vst3 folder) as a host's scan finds it: the
// binary for this build is loaded and asked, through the factory, for every
// class; each audio module class is created, initialized, asked for its
// buses and its controller's parameter count, and released. Where the
// binary does not load here but the bundle has a moduleinfo.json, the
// classes listed there are described from it, and the note says so.
// Outcome codes as describers.h states them.
int describeVst3(const QString &path, FileDescription *description);
