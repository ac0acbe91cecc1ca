/* ombrelscan.h: scan a VST 2 plug-in library from a host, through a plain C
 * interface. Each plug-in is loaded by the scanner helper in a process of its
 * own, never in the host; results are cached between runs.
 *
 * Use: ombrel_scan_new(), set options and callbacks, ombrel_scan_start(),
 * ombrel_scan_wait() (or let the finished callback tell you), read the
 * summary, ombrel_scan_free().
 *
 * Threads. Each scan runs on a thread of its own, which the library starts
 * and ends; the scanner processes die with it. Every callback of a scan is
 * called on one more thread of the scan's own, one at a time and in order:
 * the problems and results as they become known, the progress after each
 * result, the finished callback last. A slow callback delays the callbacks
 * after it, never the scans. The library installs no signal handler (built
 * with Qt 5, Qt's process code keeps one for SIGCHLD, which passes every
 * signal on to the handler it found).
 *
 * Inside a callback a host may call the accessors of what it was handed,
 * ombrel_scan_cancel() (of any scan) and ombrel_scan_error_name(); it must
 * not call ombrel_scan_wait() on its own scan (that fails with
 * OMBREL_SCAN_E_IN_CALLBACK), nor unwind out of the callback (no C++
 * exception, no longjmp). ombrel_scan_free() from inside a callback of that
 * scan cancels it and frees it once its last callback has returned.
 *
 * Memory. The library copies every string it is given. A handle made by
 * ombrel_scan_new() is the host's until ombrel_scan_free(). Results,
 * summaries and every string they hand out belong to the library: a result
 * and its strings are valid during the callback it is passed to; the
 * summary until ombrel_scan_free(). Strings are UTF-8 (a file name that is
 * not is shown with its bad bytes as \xHH) and never NULL for a valid
 * object: an absent value is "".
 *
 * Errors. Every function that can fail returns OMBREL_SCAN_OK (0) or an
 * error code; ombrel_scan_error_message() then says on the calling thread
 * what failed and why. No function crashes on a NULL handle.
 *
 * Qt. The library is built on Qt Core. In a host that has a QCoreApplication
 * (create it before the first scan) the scans use it; in one that has none
 * the library makes one, on a thread of its own, and keeps it until the
 * process ends: such a host must not create a QCoreApplication later.
 */
#ifndef OMBREL_OMBRELSCAN_H
#define OMBREL_OMBRELSCAN_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The version of this header; ombrel_scan_version() gives the library's. */
#define OMBREL_SCAN_VERSION_MAJOR 1
#define OMBREL_SCAN_VERSION_MINOR 0
#define OMBREL_SCAN_VERSION_PATCH 0
#define OMBREL_SCAN_VERSION "1.0.0"
/* Raised whenever a program built against an older header could break. */
#define OMBREL_SCAN_ABI_VERSION 1

#if defined(__GNUC__)
#define OMBREL_SCAN_API __attribute__((visibility("default")))
#else
#define OMBREL_SCAN_API
#endif

/* Error codes. */
#define OMBREL_SCAN_OK 0
#define OMBREL_SCAN_E_NULL 1             /* a handle or argument was NULL */
#define OMBREL_SCAN_E_BAD_VALUE 2        /* an option value out of its range */
#define OMBREL_SCAN_E_STATE 3            /* not now: already started, or not yet */
#define OMBREL_SCAN_E_IN_CALLBACK 4      /* not from a callback of this scan */
#define OMBREL_SCAN_E_NO_MEMORY 5        /* out of memory */
#define OMBREL_SCAN_E_THREAD 6           /* no thread could be started for the scan */
#define OMBREL_SCAN_E_INPUT_NOT_FOUND 7  /* an input does not exist; the rest was scanned */
#define OMBREL_SCAN_E_UNREADABLE_INPUT 8 /* a folder given cannot be read: nothing scanned */
#define OMBREL_SCAN_E_NO_SCANNER 9       /* no scanner found: nothing scanned */
#define OMBREL_SCAN_E_CACHE 10           /* the cache file cannot be written */
#define OMBREL_SCAN_E_NO_SANDBOX 11      /* a sandbox was required and none can be had */
#define OMBREL_SCAN_E_CANCELLED 12       /* cancelled; every finished scan is cached */
#define OMBREL_SCAN_E_INTERNAL 13        /* a fault inside the library */

/* Outcomes of one plug-in, as ombrel-scan's JSON names them. */
#define OMBREL_OUTCOME_OK 0            /* "ok": name, vendor, kind, channels known */
#define OMBREL_OUTCOME_BANNED 1        /* "banned" by the scanner's ban list */
#define OMBREL_OUTCOME_NOT_A_PLUGIN 2  /* "not-a-plugin" */
#define OMBREL_OUTCOME_MISSING 3       /* "missing": gone before its scan */
#define OMBREL_OUTCOME_CRASHED 4       /* "crashed", with the signal */
#define OMBREL_OUTCOME_TIMED_OUT 5     /* "timed-out" */
#define OMBREL_OUTCOME_NON_UTF8_NAME 6 /* "non-utf8-name" */
#define OMBREL_OUTCOME_FAILED 7        /* "failed": any other end, maybe with a reason */
#define OMBREL_OUTCOME_FOREIGN 8       /* "foreign": built for what no installed scanner loads */
#define OMBREL_OUTCOME_MEMORY_LIMIT 9  /* "memory-limit": ended at the scan's memory limit */
#define OMBREL_OUTCOME_COUNT 10

/* How the scan ended: the summary's status. */
#define OMBREL_STATUS_COMPLETED 0
#define OMBREL_STATUS_INTERRUPTED 1
#define OMBREL_STATUS_NO_SCANNER 2
#define OMBREL_STATUS_UNREADABLE_INPUT 3
#define OMBREL_STATUS_CACHE_NOT_WRITTEN 4
#define OMBREL_STATUS_NO_SANDBOX 5

/* Sandbox modes. */
#define OMBREL_SANDBOX_AUTO 0    /* a sandbox where the system allows one, else limits, said so */
#define OMBREL_SANDBOX_REQUIRE 1 /* a sandbox or no scan at all */
#define OMBREL_SANDBOX_OFF 2     /* time and memory limits only */

/* Problems told along the way (the scan goes on). */
#define OMBREL_PROBLEM_INPUT_NOT_FOUND 0
#define OMBREL_PROBLEM_UNREADABLE_FOLDER 1
#define OMBREL_PROBLEM_NO_PLUGIN_FILES 2
#define OMBREL_PROBLEM_CACHE_UNREADABLE 3
#define OMBREL_PROBLEM_JOURNAL_NOT_WRITTEN 4
#define OMBREL_PROBLEM_NO_SANDBOX 5 /* auto found no sandbox: scans run with less protection */

typedef struct ombrel_scan ombrel_scan;
typedef struct ombrel_scan_result ombrel_scan_result;
typedef struct ombrel_scan_summary ombrel_scan_summary;

typedef void (*ombrel_scan_result_fn)(void *user, const ombrel_scan_result *result);
/* done of total plug-ins have a result; total is known once the cache was read. */
typedef void (*ombrel_scan_progress_fn)(void *user, long done, long total);
typedef void (*ombrel_scan_problem_fn)(void *user, int problem, const char *message);
typedef void (*ombrel_scan_finished_fn)(void *user, const ombrel_scan_summary *summary);

/* The library's version ("1.0.0"), which may be newer than the header's. */
OMBREL_SCAN_API const char *ombrel_scan_version(void);

/* What went wrong with the last failed call on this thread; valid until the
 * next call of this library on it. "" when none has failed. */
OMBREL_SCAN_API const char *ombrel_scan_error_message(void);
/* A code's name ("OMBREL_SCAN_E_BAD_VALUE"); "unknown" for any other. */
OMBREL_SCAN_API const char *ombrel_scan_error_name(int code);
/* An outcome's name ("ok", "timed-out"); "" for any other. */
OMBREL_SCAN_API const char *ombrel_scan_outcome_name(int outcome);

/* A scan with the defaults: the default folders, as many scans at once as
 * there are processors, 30 s per plug-in, the user's cache, the installed
 * scanner, OMBREL_SANDBOX_AUTO. NULL when out of memory. */
OMBREL_SCAN_API ombrel_scan *ombrel_scan_new(void);
/* Cancels the scan if it runs, waits for it, and frees it. NULL is allowed. */
OMBREL_SCAN_API void ombrel_scan_free(ombrel_scan *scan);

/* Options; each only before ombrel_scan_start(). */
/* A file or folder to scan (folders recursively, for *.so); none: the
 * folders in VST_PATH, else the usual VST 2 folders. */
OMBREL_SCAN_API int ombrel_scan_add_input(ombrel_scan *scan, const char *path);
OMBREL_SCAN_API int ombrel_scan_set_jobs(ombrel_scan *scan, int jobs);          /* 1 to 1024 */
OMBREL_SCAN_API int ombrel_scan_set_time_limit_ms(ombrel_scan *scan, long ms);  /* 100 to 86400000 */
OMBREL_SCAN_API int ombrel_scan_set_rescan(ombrel_scan *scan, int rescan);      /* scan every file again */
OMBREL_SCAN_API int ombrel_scan_set_retry_failed(ombrel_scan *scan, int retry); /* crashed, timed-out again */
OMBREL_SCAN_API int ombrel_scan_set_cache_file(ombrel_scan *scan, const char *path);
/* The native scanner to run; the 32-bit one is looked for in i386/ beside it. */
OMBREL_SCAN_API int ombrel_scan_set_scanner(ombrel_scan *scan, const char *path);
/* A folder holding OmbrelPluginScanner (and i386/OmbrelPluginScanner);
 * default: the library's own install, <libdir>/../libexec/ombrel, or the
 * library's folder when the scanner is beside it. */
OMBREL_SCAN_API int ombrel_scan_set_scanner_folder(ombrel_scan *scan, const char *folder);
OMBREL_SCAN_API int ombrel_scan_set_sandbox(ombrel_scan *scan, int mode); /* OMBREL_SANDBOX_* */
/* Per scan, in KiB (C89 has no 64-bit integer); 0: none. */
OMBREL_SCAN_API int ombrel_scan_set_memory_limit_kib(ombrel_scan *scan, unsigned long kib);
/* A path a sandboxed scan may read besides its plug-in. */
OMBREL_SCAN_API int ombrel_scan_add_read_only_path(ombrel_scan *scan, const char *path);

/* Callbacks; each only before ombrel_scan_start(), NULL to be told nothing. */
OMBREL_SCAN_API int ombrel_scan_on_result(ombrel_scan *scan, ombrel_scan_result_fn fn, void *user);
OMBREL_SCAN_API int ombrel_scan_on_progress(ombrel_scan *scan, ombrel_scan_progress_fn fn, void *user);
OMBREL_SCAN_API int ombrel_scan_on_problem(ombrel_scan *scan, ombrel_scan_problem_fn fn, void *user);
OMBREL_SCAN_API int ombrel_scan_on_finished(ombrel_scan *scan, ombrel_scan_finished_fn fn, void *user);

/* Starts the scan and returns at once. Once per handle. */
OMBREL_SCAN_API int ombrel_scan_start(ombrel_scan *scan);
/* Stops the scan soon: no new scan starts, those running are killed and not
 * reported, the cache is saved. From any thread, also before the start (the
 * scan then ends at once) and after the end (nothing happens). */
OMBREL_SCAN_API int ombrel_scan_cancel(ombrel_scan *scan);
/* Waits until the scan has ended and its last callback returned. Returns how
 * it ended: OMBREL_SCAN_OK, or OMBREL_SCAN_E_INPUT_NOT_FOUND ...
 * OMBREL_SCAN_E_CANCELLED with a message. */
OMBREL_SCAN_API int ombrel_scan_wait(ombrel_scan *scan);
/* Once ombrel_scan_wait() returned: the summary; NULL before. */
OMBREL_SCAN_API const ombrel_scan_summary *ombrel_scan_get_summary(const ombrel_scan *scan);

/* One plug-in's result: every member of a result of ombrel-scan --json. */
OMBREL_SCAN_API const char *ombrel_scan_result_path(const ombrel_scan_result *result);
OMBREL_SCAN_API int ombrel_scan_result_outcome(const ombrel_scan_result *result); /* OMBREL_OUTCOME_*, -1 for NULL */
OMBREL_SCAN_API const char *ombrel_scan_result_outcome_name(const ombrel_scan_result *result);
/* For "ok": */
OMBREL_SCAN_API const char *ombrel_scan_result_name(const ombrel_scan_result *result);
OMBREL_SCAN_API const char *ombrel_scan_result_vendor(const ombrel_scan_result *result);
OMBREL_SCAN_API int ombrel_scan_result_instrument(const ombrel_scan_result *result); /* 1 or 0 */
OMBREL_SCAN_API int ombrel_scan_result_inputs(const ombrel_scan_result *result);
OMBREL_SCAN_API int ombrel_scan_result_outputs(const ombrel_scan_result *result);
OMBREL_SCAN_API const char *ombrel_scan_result_type(const ombrel_scan_result *result);
OMBREL_SCAN_API const char *ombrel_scan_result_pluginfn(const ombrel_scan_result *result);
/* The scanner's exit code; -1 when it did not exit (crashed, timed out, not started). */
OMBREL_SCAN_API int ombrel_scan_result_exit_code(const ombrel_scan_result *result);
/* For "crashed": the signal; else 0. */
OMBREL_SCAN_API int ombrel_scan_result_signal(const ombrel_scan_result *result);
/* For "failed" on the library's side: why the scanner could not be run. */
OMBREL_SCAN_API const char *ombrel_scan_result_reason(const ombrel_scan_result *result);
/* Unless "ok": the last lines the scanner process printed. */
OMBREL_SCAN_API size_t ombrel_scan_result_line_count(const ombrel_scan_result *result);
OMBREL_SCAN_API const char *ombrel_scan_result_line(const ombrel_scan_result *result, size_t index);
OMBREL_SCAN_API const char *ombrel_scan_result_scanner(const ombrel_scan_result *result);
/* For "foreign": what the file is built for ("64-bit ARM"). */
OMBREL_SCAN_API const char *ombrel_scan_result_binary(const ombrel_scan_result *result);
OMBREL_SCAN_API int ombrel_scan_result_cached(const ombrel_scan_result *result); /* 1: from the cache */
OMBREL_SCAN_API long ombrel_scan_result_milliseconds(const ombrel_scan_result *result);
/* When the scan ended, UTC, ISO 8601 ("2026-12-09T01:54:09Z"). */
OMBREL_SCAN_API const char *ombrel_scan_result_scanned_at(const ombrel_scan_result *result);
/* What kept the scan from harming the user: "sandbox", "limits", or "". */
OMBREL_SCAN_API const char *ombrel_scan_result_protection(const ombrel_scan_result *result);

/* The summary at the end. */
OMBREL_SCAN_API int ombrel_scan_summary_status(const ombrel_scan_summary *summary); /* OMBREL_STATUS_*, -1 for NULL */
/* What went wrong, for a status other than completed and interrupted. */
OMBREL_SCAN_API const char *ombrel_scan_summary_error(const ombrel_scan_summary *summary);
OMBREL_SCAN_API long ombrel_scan_summary_total(const ombrel_scan_summary *summary); /* plug-in files found */
OMBREL_SCAN_API long ombrel_scan_summary_count(const ombrel_scan_summary *summary, int outcome);
OMBREL_SCAN_API long ombrel_scan_summary_scanned(const ombrel_scan_summary *summary); /* not from the cache */
OMBREL_SCAN_API int ombrel_scan_summary_input_not_found(const ombrel_scan_summary *summary);
OMBREL_SCAN_API const char *ombrel_scan_summary_scanner(const ombrel_scan_summary *summary);
OMBREL_SCAN_API const char *ombrel_scan_summary_protection(const ombrel_scan_summary *summary);
/* Why the protection is not a sandbox, when it is not. */
OMBREL_SCAN_API const char *ombrel_scan_summary_protection_note(const ombrel_scan_summary *summary);

#ifdef __cplusplus
}
#endif

#endif /* OMBREL_OMBRELSCAN_H */
