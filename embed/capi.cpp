// The C interface of include/ombrel/ombrelscan.h: argument checks, error
// codes and messages, and a barrier that no C++ exception crosses.

#include "ombrel/ombrelscan.h"

#include "embed/cobjects.h"
#include "embed/embeddedscan.h"
#include "embed/lasterror.h"

#include "contract/plugindescription.h"

#include <QFile>

#include <cstdint>
#include <new>

struct ombrel_scan
{
    ombrel::EmbeddedScan scan;
};

using namespace ombrel;

namespace {

int fail(int code, const char *function, const QString &why)
{
    setLastError(QLatin1String(function) + QStringLiteral(": ") + why);
    return code;
}

template <typename Body> int guarded(const char *function, Body &&body) noexcept
{
    try {
        clearLastError();
        return body();
    } catch (const std::bad_alloc &) {
        return fail(OMBREL_SCAN_E_NO_MEMORY, function, QStringLiteral("out of memory"));
    } catch (...) {
        return fail(OMBREL_SCAN_E_INTERNAL, function, QStringLiteral("failed inside the library"));
    }
}

// An option: only on a handle, only before the start.
template <typename Apply> int setOption(ombrel_scan *scan, const char *function, Apply &&apply) noexcept
{
    return guarded(function, [&] {
        if (!scan)
            return fail(OMBREL_SCAN_E_NULL, function, QStringLiteral("the scan handle is NULL"));
        if (scan->scan.started())
            return fail(OMBREL_SCAN_E_STATE, function,
                        QStringLiteral("the scan has started; options are set before ombrel_scan_start()"));
        return apply(scan->scan);
    });
}

// A path option: not NULL, not empty, the bytes of a file name.
template <typename Apply> int setPath(ombrel_scan *scan, const char *function, const char *path, Apply &&apply) noexcept
{
    return setOption(scan, function, [&](EmbeddedScan &embedded) {
        if (!path)
            return fail(OMBREL_SCAN_E_NULL, function, QStringLiteral("the path is NULL"));
        if (!*path)
            return fail(OMBREL_SCAN_E_BAD_VALUE, function, QStringLiteral("the path is empty"));
        apply(embedded, QFile::decodeName(path));
        return OMBREL_SCAN_OK;
    });
}

} // namespace

extern "C" {

const char *ombrel_scan_version(void)
{
    return OMBREL_SCAN_VERSION;
}

const char *ombrel_scan_error_message(void)
{
    return lastError();
}

const char *ombrel_scan_error_name(int code)
{
    return errorName(code);
}

const char *ombrel_scan_outcome_name(int outcome)
{
    return outcomeCodeName(outcome);
}

ombrel_scan *ombrel_scan_new(void)
{
    try {
        clearLastError();
        return new ombrel_scan;
    } catch (...) {
        fail(OMBREL_SCAN_E_NO_MEMORY, "ombrel_scan_new", QStringLiteral("out of memory"));
        return nullptr;
    }
}

void ombrel_scan_free(ombrel_scan *scan)
{
    if (!scan)
        return;
    try {
        if (scan->scan.inCallback())
            scan->scan.destroyWhenDone([scan] { delete scan; });
        else
            delete scan;
    } catch (...) {
        // Nothing to tell from a function that returns nothing; the scan is
        // left as it is rather than freed halfway.
    }
}

int ombrel_scan_add_input(ombrel_scan *scan, const char *path)
{
    return setPath(scan, "ombrel_scan_add_input", path,
                   [](EmbeddedScan &embedded, const QString &input) { embedded.options.inputs << input; });
}

int ombrel_scan_set_jobs(ombrel_scan *scan, int jobs)
{
    return setOption(scan, "ombrel_scan_set_jobs", [&](EmbeddedScan &embedded) {
        if (jobs < 1 || jobs > 1024)
            return fail(OMBREL_SCAN_E_BAD_VALUE, "ombrel_scan_set_jobs",
                        QStringLiteral("expected a number of scans at once from 1 to 1024, not %1").arg(jobs));
        embedded.options.jobs = jobs;
        return OMBREL_SCAN_OK;
    });
}

int ombrel_scan_set_time_limit_ms(ombrel_scan *scan, long ms)
{
    return setOption(scan, "ombrel_scan_set_time_limit_ms", [&](EmbeddedScan &embedded) {
        if (ms < 100 || ms > 86400000L)
            return fail(OMBREL_SCAN_E_BAD_VALUE, "ombrel_scan_set_time_limit_ms",
                        QStringLiteral("expected milliseconds from 100 to 86400000 (a day), not %1").arg(ms));
        embedded.options.timeLimitMs = int(ms);
        return OMBREL_SCAN_OK;
    });
}

int ombrel_scan_set_rescan(ombrel_scan *scan, int rescan)
{
    return setOption(scan, "ombrel_scan_set_rescan", [&](EmbeddedScan &embedded) {
        embedded.options.rescan = rescan != 0;
        return OMBREL_SCAN_OK;
    });
}

int ombrel_scan_set_retry_failed(ombrel_scan *scan, int retry)
{
    return setOption(scan, "ombrel_scan_set_retry_failed", [&](EmbeddedScan &embedded) {
        embedded.options.retryFailed = retry != 0;
        return OMBREL_SCAN_OK;
    });
}

int ombrel_scan_set_cache_file(ombrel_scan *scan, const char *path)
{
    return setPath(scan, "ombrel_scan_set_cache_file", path,
                   [](EmbeddedScan &embedded, const QString &file) { embedded.options.cacheFile = file; });
}

int ombrel_scan_set_scanner(ombrel_scan *scan, const char *path)
{
    return setPath(scan, "ombrel_scan_set_scanner", path,
                   [](EmbeddedScan &embedded, const QString &file) { embedded.options.scanner = file; });
}

int ombrel_scan_set_scanner_folder(ombrel_scan *scan, const char *folder)
{
    return setPath(scan, "ombrel_scan_set_scanner_folder", folder,
                   [](EmbeddedScan &embedded, const QString &path) { embedded.scannerFolder = path; });
}

int ombrel_scan_set_sandbox(ombrel_scan *scan, int mode)
{
    return setOption(scan, "ombrel_scan_set_sandbox", [&](EmbeddedScan &embedded) {
        switch (mode) {
        case OMBREL_SANDBOX_AUTO:
            embedded.options.sandbox = SandboxMode::Auto;
            return OMBREL_SCAN_OK;
        case OMBREL_SANDBOX_REQUIRE:
            embedded.options.sandbox = SandboxMode::Require;
            return OMBREL_SCAN_OK;
        case OMBREL_SANDBOX_OFF:
            embedded.options.sandbox = SandboxMode::Off;
            return OMBREL_SCAN_OK;
        }
        return fail(OMBREL_SCAN_E_BAD_VALUE, "ombrel_scan_set_sandbox",
                    QStringLiteral("expected OMBREL_SANDBOX_AUTO, _REQUIRE or _OFF, not %1").arg(mode));
    });
}

int ombrel_scan_set_memory_limit_kib(ombrel_scan *scan, unsigned long kib)
{
    return setOption(scan, "ombrel_scan_set_memory_limit_kib", [&](EmbeddedScan &embedded) {
        if (quint64(kib) > quint64(INT64_MAX) / 1024)
            return fail(OMBREL_SCAN_E_BAD_VALUE, "ombrel_scan_set_memory_limit_kib",
                        QStringLiteral("%1 KiB is more than a limit can be").arg(quint64(kib)));
        embedded.options.memoryLimitBytes = qint64(kib) * 1024;
        return OMBREL_SCAN_OK;
    });
}

int ombrel_scan_set_formats(ombrel_scan *scan, const char *formats)
{
    return setOption(scan, "ombrel_scan_set_formats", [&](EmbeddedScan &embedded) {
        if (!formats)
            return fail(OMBREL_SCAN_E_NULL, "ombrel_scan_set_formats", QStringLiteral("the formats are NULL"));
        QStringList names;
        for (const QString &name : QString::fromUtf8(formats).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            if (!scannableFormats().contains(name.trimmed()))
                return fail(OMBREL_SCAN_E_BAD_VALUE, "ombrel_scan_set_formats",
                            QStringLiteral("'%1' is no format this library scans").arg(name));
            names << name.trimmed();
        }
        if (names.isEmpty())
            return fail(OMBREL_SCAN_E_BAD_VALUE, "ombrel_scan_set_formats", QStringLiteral("no format named"));
        embedded.options.formats = names;
        return OMBREL_SCAN_OK;
    });
}

int ombrel_scan_add_read_only_path(ombrel_scan *scan, const char *path)
{
    return setPath(scan, "ombrel_scan_add_read_only_path", path,
                   [](EmbeddedScan &embedded, const QString &file) { embedded.options.readOnlyPaths << file; });
}

int ombrel_scan_on_result(ombrel_scan *scan, ombrel_scan_result_fn fn, void *user)
{
    return setOption(scan, "ombrel_scan_on_result", [&](EmbeddedScan &embedded) {
        embedded.callbacks.result = fn;
        embedded.callbacks.resultUser = user;
        return OMBREL_SCAN_OK;
    });
}

int ombrel_scan_on_progress(ombrel_scan *scan, ombrel_scan_progress_fn fn, void *user)
{
    return setOption(scan, "ombrel_scan_on_progress", [&](EmbeddedScan &embedded) {
        embedded.callbacks.progress = fn;
        embedded.callbacks.progressUser = user;
        return OMBREL_SCAN_OK;
    });
}

int ombrel_scan_on_problem(ombrel_scan *scan, ombrel_scan_problem_fn fn, void *user)
{
    return setOption(scan, "ombrel_scan_on_problem", [&](EmbeddedScan &embedded) {
        embedded.callbacks.problem = fn;
        embedded.callbacks.problemUser = user;
        return OMBREL_SCAN_OK;
    });
}

int ombrel_scan_on_finished(ombrel_scan *scan, ombrel_scan_finished_fn fn, void *user)
{
    return setOption(scan, "ombrel_scan_on_finished", [&](EmbeddedScan &embedded) {
        embedded.callbacks.finished = fn;
        embedded.callbacks.finishedUser = user;
        return OMBREL_SCAN_OK;
    });
}

int ombrel_scan_start(ombrel_scan *scan)
{
    return guarded("ombrel_scan_start", [&] {
        if (!scan)
            return fail(OMBREL_SCAN_E_NULL, "ombrel_scan_start", QStringLiteral("the scan handle is NULL"));
        if (scan->scan.started())
            return fail(OMBREL_SCAN_E_STATE, "ombrel_scan_start",
                        QStringLiteral("the scan was started already; a handle scans once"));
        QString error;
        if (!scan->scan.start(&error))
            return fail(OMBREL_SCAN_E_THREAD, "ombrel_scan_start", error);
        return OMBREL_SCAN_OK;
    });
}

int ombrel_scan_cancel(ombrel_scan *scan)
{
    return guarded("ombrel_scan_cancel", [&] {
        if (!scan)
            return fail(OMBREL_SCAN_E_NULL, "ombrel_scan_cancel", QStringLiteral("the scan handle is NULL"));
        scan->scan.cancel();
        return OMBREL_SCAN_OK;
    });
}

int ombrel_scan_wait(ombrel_scan *scan)
{
    return guarded("ombrel_scan_wait", [&] {
        if (!scan)
            return fail(OMBREL_SCAN_E_NULL, "ombrel_scan_wait", QStringLiteral("the scan handle is NULL"));
        if (!scan->scan.started())
            return fail(OMBREL_SCAN_E_STATE, "ombrel_scan_wait", QStringLiteral("the scan was not started"));
        if (scan->scan.inCallback())
            return fail(OMBREL_SCAN_E_IN_CALLBACK, "ombrel_scan_wait",
                        QStringLiteral("called from a callback of the scan it would wait for"));
        QString message;
        const int end = scan->scan.wait(&message);
        if (end != OMBREL_SCAN_OK)
            setLastError(message);
        return end;
    });
}

const ombrel_scan_summary *ombrel_scan_get_summary(const ombrel_scan *scan)
{
    if (!scan) {
        fail(OMBREL_SCAN_E_NULL, "ombrel_scan_get_summary", QStringLiteral("the scan handle is NULL"));
        return nullptr;
    }
    const ombrel_scan_summary *summary = scan->scan.summary();
    if (!summary)
        fail(OMBREL_SCAN_E_STATE, "ombrel_scan_get_summary", QStringLiteral("the scan has not ended yet"));
    return summary;
}

const char *ombrel_scan_result_path(const ombrel_scan_result *r)
{
    return r ? r->path.c_str() : "";
}
int ombrel_scan_result_outcome(const ombrel_scan_result *r)
{
    return r ? r->outcome : -1;
}
const char *ombrel_scan_result_outcome_name(const ombrel_scan_result *r)
{
    return r ? outcomeCodeName(r->outcome) : "";
}
const char *ombrel_scan_result_name(const ombrel_scan_result *r)
{
    return r ? r->name.c_str() : "";
}
const char *ombrel_scan_result_vendor(const ombrel_scan_result *r)
{
    return r ? r->vendor.c_str() : "";
}
int ombrel_scan_result_instrument(const ombrel_scan_result *r)
{
    return r ? r->instrument : 0;
}
int ombrel_scan_result_inputs(const ombrel_scan_result *r)
{
    return r ? r->inputs : 0;
}
int ombrel_scan_result_outputs(const ombrel_scan_result *r)
{
    return r ? r->outputs : 0;
}
const char *ombrel_scan_result_type(const ombrel_scan_result *r)
{
    return r ? r->type.c_str() : "";
}
const char *ombrel_scan_result_pluginfn(const ombrel_scan_result *r)
{
    return r ? r->pluginfn.c_str() : "";
}
const char *ombrel_scan_result_format(const ombrel_scan_result *r)
{
    return r ? r->format.c_str() : "";
}
const char *ombrel_scan_result_note(const ombrel_scan_result *r)
{
    return r ? r->note.c_str() : "";
}
size_t ombrel_scan_result_description_count(const ombrel_scan_result *r)
{
    return r ? r->descriptions.size() : 0;
}
int ombrel_scan_result_has(const ombrel_scan_result *r, size_t index, int field)
{
    return r && index < r->descriptions.size() && field >= 0 && field < OMBREL_FIELD_COUNT
        && r->descriptions[index].present[field];
}
const char *ombrel_scan_result_text(const ombrel_scan_result *r, size_t index, int field)
{
    return ombrel_scan_result_has(r, index, field) ? r->descriptions[index].text[field].c_str() : "";
}
long ombrel_scan_result_number(const ombrel_scan_result *r, size_t index, int field)
{
    return ombrel_scan_result_has(r, index, field) ? r->descriptions[index].number[field] : 0;
}
const char *ombrel_scan_field_key(int field)
{
    return field >= 0 && field < OMBREL_FIELD_COUNT ? descriptionFields().at(field).key : "";
}
int ombrel_scan_field_type(int field)
{
    if (field < 0 || field >= OMBREL_FIELD_COUNT)
        return -1;
    switch (descriptionFields().at(field).type) {
    case DescriptionField::Type::Text:
        return OMBREL_FIELD_TEXT;
    case DescriptionField::Type::Number:
        return OMBREL_FIELD_NUMBER;
    case DescriptionField::Type::Flag:
        return OMBREL_FIELD_FLAG;
    }
    return -1;
}
int ombrel_scan_result_exit_code(const ombrel_scan_result *r)
{
    return r ? r->exitCode : -1;
}
int ombrel_scan_result_signal(const ombrel_scan_result *r)
{
    return r ? r->signal : 0;
}
const char *ombrel_scan_result_reason(const ombrel_scan_result *r)
{
    return r ? r->reason.c_str() : "";
}
size_t ombrel_scan_result_line_count(const ombrel_scan_result *r)
{
    return r ? r->lines.size() : 0;
}
const char *ombrel_scan_result_line(const ombrel_scan_result *r, size_t index)
{
    return r && index < r->lines.size() ? r->lines[index].c_str() : "";
}
const char *ombrel_scan_result_scanner(const ombrel_scan_result *r)
{
    return r ? r->scanner.c_str() : "";
}
const char *ombrel_scan_result_binary(const ombrel_scan_result *r)
{
    return r ? r->binary.c_str() : "";
}
int ombrel_scan_result_cached(const ombrel_scan_result *r)
{
    return r ? r->cached : 0;
}
long ombrel_scan_result_milliseconds(const ombrel_scan_result *r)
{
    return r ? long(r->milliseconds) : 0;
}
const char *ombrel_scan_result_scanned_at(const ombrel_scan_result *r)
{
    return r ? r->scannedAt.c_str() : "";
}
const char *ombrel_scan_result_protection(const ombrel_scan_result *r)
{
    return r ? r->protection.c_str() : "";
}

int ombrel_scan_summary_status(const ombrel_scan_summary *s)
{
    return s ? s->status : -1;
}
const char *ombrel_scan_summary_error(const ombrel_scan_summary *s)
{
    return s ? s->error.c_str() : "";
}
long ombrel_scan_summary_total(const ombrel_scan_summary *s)
{
    return s ? s->total : 0;
}
long ombrel_scan_summary_count(const ombrel_scan_summary *s, int outcome)
{
    return s && outcome >= 0 && outcome < OMBREL_OUTCOME_COUNT ? s->counts[outcome] : 0;
}
long ombrel_scan_summary_scanned(const ombrel_scan_summary *s)
{
    return s ? s->scanned : 0;
}
int ombrel_scan_summary_input_not_found(const ombrel_scan_summary *s)
{
    return s ? s->inputNotFound : 0;
}
const char *ombrel_scan_summary_scanner(const ombrel_scan_summary *s)
{
    return s ? s->scanner.c_str() : "";
}
const char *ombrel_scan_summary_protection(const ombrel_scan_summary *s)
{
    return s ? s->protection.c_str() : "";
}
const char *ombrel_scan_summary_protection_note(const ombrel_scan_summary *s)
{
    return s ? s->protectionNote.c_str() : "";
}

size_t ombrel_scan_summary_duplicate_count(const ombrel_scan_summary *s)
{
    return s ? s->duplicates.size() : 0;
}
const char *ombrel_scan_summary_duplicate_format(const ombrel_scan_summary *s, size_t index)
{
    return s && index < s->duplicates.size() ? s->duplicates[index].format.c_str() : "";
}
const char *ombrel_scan_summary_duplicate_id(const ombrel_scan_summary *s, size_t index)
{
    return s && index < s->duplicates.size() ? s->duplicates[index].id.c_str() : "";
}
size_t ombrel_scan_summary_duplicate_file_count(const ombrel_scan_summary *s, size_t index)
{
    return s && index < s->duplicates.size() ? s->duplicates[index].files.size() : 0;
}
const char *ombrel_scan_summary_duplicate_file(const ombrel_scan_summary *s, size_t index, size_t file)
{
    return s && index < s->duplicates.size() && file < s->duplicates[index].files.size()
        ? s->duplicates[index].files[file].c_str()
        : "";
}

} // extern "C"
