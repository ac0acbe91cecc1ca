#pragma once

// What the C interface hands to a host: plain copies of a result and of the
// summary, made on the scan's thread, read on the callback thread and by
// the host. Nothing in them refers back to Qt objects.

#include "ombrel/ombrelscan.h"

#include "launcher/core/scanresult.h"
#include "launcher/library/libraryscan.h"

#include <string>
#include <vector>

// One plug-in's description, by the C field numbers: each field there or
// not, as text or as a number (flags 1 or 0).
struct ombrel_scan_description_values
{
    bool present[OMBREL_FIELD_COUNT] = {};
    std::string text[OMBREL_FIELD_COUNT];
    long number[OMBREL_FIELD_COUNT] = {};
};

struct ombrel_scan_result
{
    std::string path;
    int outcome = OMBREL_OUTCOME_FAILED;
    std::string name, vendor, type, pluginfn;
    int instrument = 0, inputs = 0, outputs = 0;
    std::string format, note;
    std::vector<ombrel_scan_description_values> descriptions;
    int exitCode = -1; // -1: the scanner did not exit
    int signal = 0;
    std::string reason;
    std::vector<std::string> lines;
    std::string scanner, binary;
    int cached = 0;
    long long milliseconds = 0;
    std::string scannedAt, protection;
};

struct ombrel_scan_summary
{
    int status = OMBREL_STATUS_COMPLETED;
    std::string error;
    long total = 0;
    long counts[OMBREL_OUTCOME_COUNT] = {};
    long scanned = 0;
    int inputNotFound = 0;
    std::string scanner, protection, protectionNote;
    struct Duplicate
    {
        std::string format, id;
        std::vector<std::string> files;
    };
    std::vector<Duplicate> duplicates;
};

namespace ombrel {

// The outcome's code in the C interface, and back to its name.
int outcomeCode(ScanOutcome outcome);
const char *outcomeCodeName(int code);

// The members a result has in ombrel-scan's JSON, taken from the same
// toJson(), so that the two cannot tell a host different things.
ombrel_scan_result toC(const ScanResult &result);

// `status` is the C status code for the summary's status.
ombrel_scan_summary toC(const LibraryScanSummary &summary);

} // namespace ombrel
