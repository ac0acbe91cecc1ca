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
#define OMBREL_SCAN_VERSION_MINOR 1
#define OMBREL_SCAN_VERSION_PATCH 0
#define OMBREL_SCAN_VERSION "1.1.0"
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

/* The fields of a plug-in's description (since 1.1), numbered as the
 * library's one table of fields; the keys are those of ombrel-scan's JSON. */
#define OMBREL_FIELD_FORMAT 0 /* text: "vst2", "vst3", "clap", "lv2", "ladspa", "dssi" */
#define OMBREL_FIELD_ID 1     /* text: what hosts recall a session by (the VST 2 unique ID in decimal) */
#define OMBREL_FIELD_FOURCC 2 /* text: VST 2, the unique ID as four characters */
#define OMBREL_FIELD_LABEL 3  /* text: LADSPA and DSSI */
#define OMBREL_FIELD_NAME 4
#define OMBREL_FIELD_VENDOR 5
#define OMBREL_FIELD_VERSION 6
#define OMBREL_FIELD_CATEGORY 7     /* text: in the format's own words */
#define OMBREL_FIELD_KIND 8         /* text: "instrument", "effect", "note-effect", "analyzer", "other" */
#define OMBREL_FIELD_AUDIO_INPUTS 9 /* number: channels of the main bus */
#define OMBREL_FIELD_AUDIO_OUTPUTS 10
#define OMBREL_FIELD_AUDIO_INPUTS_ALL 11 /* number: channels of every bus, side-chains included */
#define OMBREL_FIELD_AUDIO_OUTPUTS_ALL 12
#define OMBREL_FIELD_MIDI_INPUTS 13
#define OMBREL_FIELD_MIDI_OUTPUTS 14
#define OMBREL_FIELD_EDITOR 15 /* flag */
#define OMBREL_FIELD_PARAMETERS 16
#define OMBREL_FIELD_PROGRAMS 17       /* number: VST 2 */
#define OMBREL_FIELD_REPLACING 18      /* flag: VST 2 */
#define OMBREL_FIELD_VENDOR_VERSION 19 /* number: VST 2 */
#define OMBREL_FIELD_COPYRIGHT 20      /* text: LADSPA and DSSI */
#define OMBREL_FIELD_DESCRIPTION 21    /* text: CLAP */
#define OMBREL_FIELD_FILE 22
#define OMBREL_FIELD_BUNDLE 23
#define OMBREL_FIELD_INDEX 24 /* number: its place among the file's plug-ins */
#define OMBREL_FIELD_COUNT 25

/* A field's type. */
#define OMBREL_FIELD_TEXT 0
#define OMBREL_FIELD_NUMBER 1
#define OMBREL_FIELD_FLAG 2

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
/* A file or folder to scan (folders recursively, for every format's files
 * and bundles); none: each format's folders (VST_PATH, else the usual VST 2
 * folders, and so on; ombrel-scan --help lists them). */
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
/* Since 1.1: the formats to scan, separated by ',' ("vst2,clap"); default:
 * every one. */
OMBREL_SCAN_API int ombrel_scan_set_formats(ombrel_scan *scan, const char *formats);
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
/* For "ok": the file's first plug-in's description, as 1.0 gave it (a
 * VST 2 file holds one); the functions after these give every one. */
OMBREL_SCAN_API const char *ombrel_scan_result_name(const ombrel_scan_result *result);
OMBREL_SCAN_API const char *ombrel_scan_result_vendor(const ombrel_scan_result *result);
OMBREL_SCAN_API int ombrel_scan_result_instrument(const ombrel_scan_result *result); /* 1 or 0 */
OMBREL_SCAN_API int ombrel_scan_result_inputs(const ombrel_scan_result *result);
OMBREL_SCAN_API int ombrel_scan_result_outputs(const ombrel_scan_result *result);
OMBREL_SCAN_API const char *ombrel_scan_result_type(const ombrel_scan_result *result);
OMBREL_SCAN_API const char *ombrel_scan_result_pluginfn(const ombrel_scan_result *result);
/* Since 1.1. What the file was scanned as ("vst2", ...). */
OMBREL_SCAN_API const char *ombrel_scan_result_format(const ombrel_scan_result *result);
/* For "ok": what a host should know of the plug-ins named, or "". */
OMBREL_SCAN_API const char *ombrel_scan_result_note(const ombrel_scan_result *result);
/* For "ok": how many plug-ins the file holds (0 for any other outcome). */
OMBREL_SCAN_API size_t ombrel_scan_result_description_count(const ombrel_scan_result *result);
/* Whether the plug-in at index tells the field (OMBREL_FIELD_*): 1 or 0. */
OMBREL_SCAN_API int ombrel_scan_result_has(const ombrel_scan_result *result, size_t index, int field);
/* A text field; "" when absent, not a text field, or out of range. */
OMBREL_SCAN_API const char *ombrel_scan_result_text(const ombrel_scan_result *result, size_t index, int field);
/* A number or flag field (a flag is 1 or 0); 0 when absent (see _has). */
OMBREL_SCAN_API long ombrel_scan_result_number(const ombrel_scan_result *result, size_t index, int field);
/* A field's JSON key ("audioInputs") and type (OMBREL_FIELD_TEXT ...); "" and -1 for any other. */
OMBREL_SCAN_API const char *ombrel_scan_field_key(int field);
OMBREL_SCAN_API int ombrel_scan_field_type(int field);
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
/* Since 1.1. IDs that two or more plug-ins of one format share (a host keeps
 * only one of them): how many, and for each its format, ID and files. */
OMBREL_SCAN_API size_t ombrel_scan_summary_duplicate_count(const ombrel_scan_summary *summary);
OMBREL_SCAN_API const char *ombrel_scan_summary_duplicate_format(const ombrel_scan_summary *summary, size_t index);
OMBREL_SCAN_API const char *ombrel_scan_summary_duplicate_id(const ombrel_scan_summary *summary, size_t index);
OMBREL_SCAN_API size_t ombrel_scan_summary_duplicate_file_count(const ombrel_scan_summary *summary, size_t index);
OMBREL_SCAN_API const char *ombrel_scan_summary_duplicate_file(const ombrel_scan_summary *summary, size_t index,
                                                               size_t file);

#ifdef __cplusplus
}
#endif

#endif /* OMBREL_OMBRELSCAN_H */
