#pragma once

#include "contract/filedescription.h"

#include <QString>

// Reads every plug-in of one file (or bundle) of a format other than
// VST 2, in the process the scan runs in; VST 2 files go through the
// helper's own probe. Returns the scan's outcome code (contract/outcome.h):
//   0  the file was read: its plug-ins, none included, are in *description
//   3  nothing exists at the path
//   5  the file holds nothing of the format (description->cause says why,
//      e.g. "not loadable: ..." or "no clap_entry")
// A plug-in that crashes or hangs ends the process; one that calls exit()
// is caught by the caller's exit guard.
using FormatDescriber = int (*)(const QString &path, FileDescription *description);

// The describer of a format by its name ("vst3", "clap", ...); null for
// VST 2 and for formats this scanner does not read.
FormatDescriber describerFor(const QString &format);
