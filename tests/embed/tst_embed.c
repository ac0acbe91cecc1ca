/* The C interface as a host uses it, in plain C: bad arguments, a whole
 * scan, a cancel from another thread, a slow callback, two scans at once.
 * Built twice: for a host without Qt, and (OMBREL_QT_HOST) for one that has
 * its own QCoreApplication. Prints PASS/FAIL lines; exits with the number
 * of failures. */
#include <ombrel/ombrelscan.h>

#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static int failures = 0;
static char work[256];

#define CHECK(condition, ...)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            printf("FAIL: %s:%d: %s: ", __func__, __LINE__, #condition);                                               \
            printf(__VA_ARGS__);                                                                                       \
            printf("\n");                                                                                              \
            ++failures;                                                                                                \
            return;                                                                                                    \
        }                                                                                                              \
    } while (0)

static void copy_plugin(const char *variant, const char *folder, const char *as)
{
    char from[512], to[512], buffer[65536];
    FILE *in, *out;
    size_t n;
    snprintf(from, sizeof from, "%s/%s%s", TEST_PLUGIN_DIR, variant, TEST_PLUGIN_SUFFIX);
    snprintf(to, sizeof to, "%s/%s", work, folder);
    mkdir(to, 0700);
    snprintf(to, sizeof to, "%s/%s/%s", work, folder, as);
    in = fopen(from, "rb");
    out = fopen(to, "wb");
    if (!in || !out) {
        printf("FAIL: cannot copy %s to %s\n", from, to);
        exit(100);
    }
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0)
        fwrite(buffer, 1, n, out);
    fclose(in);
    fclose(out);
}

static const char *in_work(const char *name)
{
    static char path[4][512];
    static int next = 0;
    next = (next + 1) % 4;
    snprintf(path[next], sizeof path[next], "%s/%s", work, name);
    return path[next];
}

/* What the callbacks of one scan saw. */
struct seen
{
    pthread_mutex_t mutex;
    pthread_cond_t changed;
    int results, ok, finished, results_after_finish;
    long done, total;
    char first_path[512];
    char ok_id[64], ok_kind[64]; /* the ok result's first description */
    size_t ok_descriptions;
    long ok_inputs;
    const char *cache; /* the first result's callback waits until it records this many: */
    int recorded;
    int recorded_seen;
};

static int count_in(const char *path, const char *what)
{
    char buffer[65536];
    size_t size;
    int count = 0;
    const char *at;
    FILE *file = fopen(path, "r");
    if (!file)
        return 0;
    size = fread(buffer, 1, sizeof buffer - 1, file);
    buffer[size] = 0;
    fclose(file);
    for (at = strstr(buffer, what); at; at = strstr(at + 1, what))
        ++count;
    return count;
}

/* Results in the cache and its journal: each is written on the scan's
 * thread as its scan ends, the journal folded into the cache at the end. */
static int recorded_in(const char *cache)
{
    char journal[512];
    snprintf(journal, sizeof journal, "%s.journal", cache);
    return count_in(cache, "\"outcome\"") + count_in(journal, "\n");
}

static void seen_init(struct seen *seen)
{
    memset(seen, 0, sizeof *seen);
    pthread_mutex_init(&seen->mutex, NULL);
    pthread_cond_init(&seen->changed, NULL);
}

static void seen_destroy(struct seen *seen)
{
    pthread_mutex_destroy(&seen->mutex);
    pthread_cond_destroy(&seen->changed);
}

static void on_result(void *user, const ombrel_scan_result *result)
{
    struct seen *seen = user;
    int first;
    pthread_mutex_lock(&seen->mutex);
    first = seen->results++ == 0;
    if (first)
        snprintf(seen->first_path, sizeof seen->first_path, "%s", ombrel_scan_result_path(result));
    if (ombrel_scan_result_outcome(result) == OMBREL_OUTCOME_OK) {
        ++seen->ok;
        seen->ok_descriptions = ombrel_scan_result_description_count(result);
        snprintf(seen->ok_id, sizeof seen->ok_id, "%s/%s", ombrel_scan_result_text(result, 0, OMBREL_FIELD_ID),
                 ombrel_scan_result_text(result, 0, OMBREL_FIELD_FOURCC));
        snprintf(seen->ok_kind, sizeof seen->ok_kind, "%s", ombrel_scan_result_text(result, 0, OMBREL_FIELD_KIND));
        seen->ok_inputs = ombrel_scan_result_has(result, 0, OMBREL_FIELD_AUDIO_INPUTS)
            ? ombrel_scan_result_number(result, 0, OMBREL_FIELD_AUDIO_INPUTS)
            : -1;
    }
    if (seen->finished)
        ++seen->results_after_finish;
    pthread_cond_broadcast(&seen->changed);
    pthread_mutex_unlock(&seen->mutex);
    if (first && seen->cache) {
        /* Every scan ends while this callback still holds its thread. */
        const struct timespec pause = {0, 50 * 1000 * 1000};
        int tries;
        for (tries = 0; tries < 2400 && seen->recorded_seen < seen->recorded; ++tries) {
            seen->recorded_seen = recorded_in(seen->cache);
            nanosleep(&pause, NULL);
        }
    }
}

static void on_progress(void *user, long done, long total)
{
    struct seen *seen = user;
    pthread_mutex_lock(&seen->mutex);
    seen->done = done;
    seen->total = total;
    pthread_mutex_unlock(&seen->mutex);
}

static void on_finished(void *user, const ombrel_scan_summary *summary)
{
    struct seen *seen = user;
    (void)summary;
    pthread_mutex_lock(&seen->mutex);
    ++seen->finished;
    pthread_mutex_unlock(&seen->mutex);
}

static ombrel_scan *new_scan(const char *folder, const char *cache, struct seen *seen)
{
    ombrel_scan *scan = ombrel_scan_new();
    if (folder)
        ombrel_scan_add_input(scan, in_work(folder));
    ombrel_scan_set_cache_file(scan, in_work(cache));
    ombrel_scan_on_result(scan, on_result, seen);
    ombrel_scan_on_progress(scan, on_progress, seen);
    ombrel_scan_on_finished(scan, on_finished, seen);
    return scan;
}

/* Bad arguments: each row a call, the code it must return and what its
 * message must say. */
static int null_handle_input(ombrel_scan *s)
{
    (void)s;
    return ombrel_scan_add_input(NULL, "/x");
}
static int null_handle_jobs(ombrel_scan *s)
{
    (void)s;
    return ombrel_scan_set_jobs(NULL, 2);
}
static int null_handle_start(ombrel_scan *s)
{
    (void)s;
    return ombrel_scan_start(NULL);
}
static int null_handle_cancel(ombrel_scan *s)
{
    (void)s;
    return ombrel_scan_cancel(NULL);
}
static int null_handle_wait(ombrel_scan *s)
{
    (void)s;
    return ombrel_scan_wait(NULL);
}
static int null_path(ombrel_scan *s)
{
    return ombrel_scan_add_input(s, NULL);
}
static int empty_path(ombrel_scan *s)
{
    return ombrel_scan_set_cache_file(s, "");
}
static int no_jobs(ombrel_scan *s)
{
    return ombrel_scan_set_jobs(s, 0);
}
static int too_many_jobs(ombrel_scan *s)
{
    return ombrel_scan_set_jobs(s, 1025);
}
static int short_time_limit(ombrel_scan *s)
{
    return ombrel_scan_set_time_limit_ms(s, 99);
}
static int bad_sandbox(ombrel_scan *s)
{
    return ombrel_scan_set_sandbox(s, 7);
}
static int unknown_format(ombrel_scan *s)
{
    return ombrel_scan_set_formats(s, "vst2,vst9");
}
static int no_format(ombrel_scan *s)
{
    return ombrel_scan_set_formats(s, ",");
}
static int wait_unstarted(ombrel_scan *s)
{
    return ombrel_scan_wait(s);
}
static int start_twice(ombrel_scan *s)
{
    ombrel_scan_start(s);
    return ombrel_scan_start(s);
}
static int option_after_start(ombrel_scan *s)
{
    ombrel_scan_start(s);
    return ombrel_scan_set_jobs(s, 2);
}
static int missing_folder(ombrel_scan *s)
{
    ombrel_scan_add_input(s, "/nonexistent/vst");
    ombrel_scan_start(s);
    return ombrel_scan_wait(s);
}
static int folder_without_scanner(ombrel_scan *s)
{
    ombrel_scan_set_scanner_folder(s, in_work("effects"));
    ombrel_scan_start(s);
    return ombrel_scan_wait(s);
}
static int cache_under_a_file(ombrel_scan *s)
{
    ombrel_scan_set_cache_file(s, in_work("effects/a.so/cache.json"));
    ombrel_scan_start(s);
    return ombrel_scan_wait(s);
}

static void bad_arguments(void)
{
    static const struct
    {
        const char *name;
        int (*call)(ombrel_scan *);
        int code;
        const char *message;
    } rows[] = {
        {"null handle, add_input", null_handle_input, OMBREL_SCAN_E_NULL,
         "ombrel_scan_add_input: the scan handle is NULL"},
        {"null handle, set_jobs", null_handle_jobs, OMBREL_SCAN_E_NULL,
         "ombrel_scan_set_jobs: the scan handle is NULL"},
        {"null handle, start", null_handle_start, OMBREL_SCAN_E_NULL, "ombrel_scan_start: the scan handle is NULL"},
        {"null handle, cancel", null_handle_cancel, OMBREL_SCAN_E_NULL, "ombrel_scan_cancel: the scan handle is NULL"},
        {"null handle, wait", null_handle_wait, OMBREL_SCAN_E_NULL, "ombrel_scan_wait: the scan handle is NULL"},
        {"null path", null_path, OMBREL_SCAN_E_NULL, "ombrel_scan_add_input: the path is NULL"},
        {"empty path", empty_path, OMBREL_SCAN_E_BAD_VALUE, "ombrel_scan_set_cache_file: the path is empty"},
        {"no jobs", no_jobs, OMBREL_SCAN_E_BAD_VALUE, "from 1 to 1024, not 0"},
        {"too many jobs", too_many_jobs, OMBREL_SCAN_E_BAD_VALUE, "from 1 to 1024, not 1025"},
        {"short time limit", short_time_limit, OMBREL_SCAN_E_BAD_VALUE, "from 100 to 86400000 (a day), not 99"},
        {"bad sandbox mode", bad_sandbox, OMBREL_SCAN_E_BAD_VALUE, "_OFF, not 7"},
        {"unknown format", unknown_format, OMBREL_SCAN_E_BAD_VALUE, "'vst9' is no format this library scans"},
        {"no format", no_format, OMBREL_SCAN_E_BAD_VALUE, "no format named"},
        {"wait before start", wait_unstarted, OMBREL_SCAN_E_STATE, "ombrel_scan_wait: the scan was not started"},
        {"start twice", start_twice, OMBREL_SCAN_E_STATE, "a handle scans once"},
        {"option after start", option_after_start, OMBREL_SCAN_E_STATE, "options are set before ombrel_scan_start()"},
        {"missing folder", missing_folder, OMBREL_SCAN_E_INPUT_NOT_FOUND, "/nonexistent/vst: no such file or folder"},
        {"folder without scanner", folder_without_scanner, OMBREL_SCAN_E_NO_SCANNER, "/effects/OmbrelPluginScanner"},
        {"cache under a file", cache_under_a_file, OMBREL_SCAN_E_CACHE, "a.so"},
    };
    size_t i;
    for (i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        ombrel_scan *scan = ombrel_scan_new();
        int code;
        const char *message;
        ombrel_scan_add_input(scan, in_work("effects"));
        ombrel_scan_set_cache_file(scan, in_work("rows.json"));
        code = rows[i].call(scan);
        message = ombrel_scan_error_message();
        if (code != rows[i].code || !strstr(message, rows[i].message)) {
            printf("FAIL: bad_arguments(%s): %s, \"%s\"; expected %s, \"%s\"\n", rows[i].name,
                   ombrel_scan_error_name(code), message, ombrel_scan_error_name(rows[i].code), rows[i].message);
            ++failures;
        }
        ombrel_scan_free(scan);
    }
    /* Accessors of nothing give nothing, and freeing nothing is allowed. */
    if (strcmp(ombrel_scan_result_path(NULL), "") != 0 || ombrel_scan_result_outcome(NULL) != -1
        || ombrel_scan_summary_status(NULL) != -1 || ombrel_scan_get_summary(NULL) != NULL) {
        printf("FAIL: bad_arguments: accessors of NULL\n");
        ++failures;
    }
    /* The field numbers name the JSON keys; past the last, nothing. */
    if (strcmp(ombrel_scan_field_key(OMBREL_FIELD_ID), "id") != 0
        || strcmp(ombrel_scan_field_key(OMBREL_FIELD_AUDIO_INPUTS_ALL), "audioInputsAll") != 0
        || strcmp(ombrel_scan_field_key(OMBREL_FIELD_INDEX), "index") != 0
        || ombrel_scan_field_type(OMBREL_FIELD_EDITOR) != OMBREL_FIELD_FLAG
        || strcmp(ombrel_scan_field_key(OMBREL_FIELD_COUNT), "") != 0 || ombrel_scan_field_type(-1) != -1
        || ombrel_scan_result_description_count(NULL) != 0 || strcmp(ombrel_scan_result_text(NULL, 0, 0), "") != 0) {
        printf("FAIL: bad_arguments: field keys\n");
        ++failures;
    }
    ombrel_scan_free(NULL);
    printf("PASS: bad_arguments\n");
}

/* A whole scan, then the same again from the cache. */
static void whole_scan(void)
{
    struct seen seen;
    ombrel_scan *scan;
    const ombrel_scan_summary *summary;
    int code;
    seen_init(&seen);
    scan = new_scan("mixed", "whole.json", &seen);
    ombrel_scan_start(scan);
    code = ombrel_scan_wait(scan);
    summary = ombrel_scan_get_summary(scan);
    CHECK(code == OMBREL_SCAN_OK, "%s: %s", ombrel_scan_error_name(code), ombrel_scan_error_message());
    CHECK(seen.results == 3 && seen.ok == 1 && seen.finished == 1 && seen.results_after_finish == 0,
          "%d results, %d ok, finished %d", seen.results, seen.ok, seen.finished);
    CHECK(seen.done == 3 && seen.total == 3, "progress %ld/%ld", seen.done, seen.total);
    /* The test effect's unique ID is 'KsTe'; a field it does not tell is absent. */
    CHECK(seen.ok_descriptions == 1 && strcmp(seen.ok_id, "1265849445/KsTe") == 0 && strcmp(seen.ok_kind, "effect") == 0
              && seen.ok_inputs == 3,
          "description: %lu, %s, %s, %ld", (unsigned long)seen.ok_descriptions, seen.ok_id, seen.ok_kind,
          seen.ok_inputs);
    CHECK(ombrel_scan_summary_status(summary) == OMBREL_STATUS_COMPLETED && ombrel_scan_summary_total(summary) == 3
              && ombrel_scan_summary_count(summary, OMBREL_OUTCOME_OK) == 1
              && ombrel_scan_summary_count(summary, OMBREL_OUTCOME_CRASHED) == 1
              && ombrel_scan_summary_count(summary, OMBREL_OUTCOME_NOT_A_PLUGIN) == 1
              && ombrel_scan_summary_scanned(summary) == 3,
          "summary");
    CHECK(strstr(ombrel_scan_summary_scanner(summary), "OmbrelPluginScanner"), "scanner %s",
          ombrel_scan_summary_scanner(summary));
    ombrel_scan_free(scan);
    seen_destroy(&seen);

    seen_init(&seen);
    scan = new_scan("mixed", "whole.json", &seen);
    ombrel_scan_start(scan);
    code = ombrel_scan_wait(scan);
    CHECK(code == OMBREL_SCAN_OK && ombrel_scan_summary_scanned(ombrel_scan_get_summary(scan)) == 0,
          "second run scanned %ld", ombrel_scan_summary_scanned(ombrel_scan_get_summary(scan)));
    ombrel_scan_free(scan);
    seen_destroy(&seen);
    printf("PASS: whole_scan\n");
}

static void write_file(const char *path, const char *bytes, size_t size, mode_t mode)
{
    FILE *out = fopen(path, "wb");
    if (!out || fwrite(bytes, 1, size, out) != size || fclose(out) != 0 || chmod(path, mode) != 0) {
        printf("FAIL: cannot write %s\n", path);
        exit(100);
    }
}

struct assigned
{
    int outcome;
    char scanner[512];
};

static void on_assigned(void *user, const ombrel_scan_result *result)
{
    struct assigned *assigned = user;
    assigned->outcome = ombrel_scan_result_outcome(result);
    snprintf(assigned->scanner, sizeof assigned->scanner, "%s", ombrel_scan_result_scanner(result));
}

/* A scanner named by path brings its layout: a 32-bit file goes to the
 * i386/ scanner beside it, not to one looked for elsewhere, nor is it
 * left foreign. Both scanners are scripts; only the header of the file is
 * read to pick one. */
static void companion_beside_given_scanner(void)
{
    static const char script[] = "#!/bin/sh\nexit 3\n";
    static const char companion[] = "/layout/i386/OmbrelPluginScanner";
    char elf32[64] = {0x7f, 'E', 'L', 'F', 1 /* 32-bit */, 1 /* little-endian */, 1};
    struct assigned assigned = {-1, ""};
    ombrel_scan *scan = ombrel_scan_new();
    int code;
    elf32[16] = 3; /* a shared object */
    elf32[18] = 3; /* for i386 */
    mkdir(in_work("layout"), 0700);
    mkdir(in_work("layout/i386"), 0700);
    mkdir(in_work("old"), 0700);
    write_file(in_work("layout/OmbrelPluginScanner"), script, sizeof script - 1, 0700);
    write_file(in_work("layout/i386/OmbrelPluginScanner"), script, sizeof script - 1, 0700);
    write_file(in_work("old/old.so"), elf32, sizeof elf32, 0600);
    ombrel_scan_set_scanner(scan, in_work("layout/OmbrelPluginScanner"));
    ombrel_scan_add_input(scan, in_work("old/old.so"));
    ombrel_scan_set_cache_file(scan, in_work("companion.json"));
    ombrel_scan_on_result(scan, on_assigned, &assigned);
    ombrel_scan_start(scan);
    code = ombrel_scan_wait(scan);
    ombrel_scan_free(scan);
    CHECK(code == OMBREL_SCAN_OK, "%s", ombrel_scan_error_name(code));
    CHECK(assigned.outcome == OMBREL_OUTCOME_MISSING, "outcome %d", assigned.outcome);
    CHECK(strlen(assigned.scanner) > strlen(companion)
              && strcmp(assigned.scanner + strlen(assigned.scanner) - strlen(companion), companion) == 0,
          "scanner \"%s\"", assigned.scanner);
    printf("PASS: companion_beside_given_scanner\n");
}

struct canceller
{
    struct seen *seen;
    ombrel_scan *scan;
};

static void *cancel_after_first_result(void *argument)
{
    struct canceller *canceller = argument;
    pthread_mutex_lock(&canceller->seen->mutex);
    while (canceller->seen->results == 0)
        pthread_cond_wait(&canceller->seen->changed, &canceller->seen->mutex);
    pthread_mutex_unlock(&canceller->seen->mutex);
    ombrel_scan_cancel(canceller->scan);
    return NULL;
}

/* A hang that only a cancel ends: one scan at once, the good effect first. */
static void cancel_from_another_thread(void)
{
    struct seen seen;
    struct canceller canceller;
    pthread_t thread;
    ombrel_scan *scan;
    int code;
    seen_init(&seen);
    scan = new_scan("hangs", "cancel.json", &seen);
    ombrel_scan_set_jobs(scan, 1);
    ombrel_scan_set_time_limit_ms(scan, 600000);
    canceller.seen = &seen;
    canceller.scan = scan;
    pthread_create(&thread, NULL, cancel_after_first_result, &canceller);
    ombrel_scan_start(scan);
    code = ombrel_scan_wait(scan);
    pthread_join(thread, NULL);
    CHECK(code == OMBREL_SCAN_E_CANCELLED, "%s", ombrel_scan_error_name(code));
    CHECK(strstr(ombrel_scan_error_message(), "cancelled"), "%s", ombrel_scan_error_message());
    CHECK(ombrel_scan_summary_status(ombrel_scan_get_summary(scan)) == OMBREL_STATUS_INTERRUPTED, "status");
    CHECK(seen.results == 1 && strstr(seen.first_path, "/hangs/a.so") && seen.finished == 1, "%d results, first %s",
          seen.results, seen.first_path);
    ombrel_scan_free(scan);
    seen_destroy(&seen);
    printf("PASS: cancel_from_another_thread\n");
}

/* A callback that does not return until every scan has ended holds up no
 * scan: the scans go on while it runs. */
static void slow_callback(void)
{
    struct seen seen;
    ombrel_scan *scan;
    int code;
    seen_init(&seen);
    seen.cache = in_work("slow.json");
    seen.recorded = 4;
    scan = new_scan("effects", "slow.json", &seen);
    ombrel_scan_set_jobs(scan, 1);
    ombrel_scan_start(scan);
    code = ombrel_scan_wait(scan);
    CHECK(code == OMBREL_SCAN_OK, "%s", ombrel_scan_error_name(code));
    CHECK(seen.recorded_seen >= 4, "%d results were recorded while the first callback ran", seen.recorded_seen);
    CHECK(seen.results == 4 && seen.ok == 4 && seen.finished == 1, "%d results, %d ok", seen.results, seen.ok);
    ombrel_scan_free(scan);
    seen_destroy(&seen);
    printf("PASS: slow_callback\n");
}

static void *start_scan(void *scan)
{
    ombrel_scan_start(scan);
    return NULL;
}

/* Two scans, started at once from two threads, each with its own cache. */
static void two_scans_at_once(void)
{
    struct seen seen[2];
    ombrel_scan *scan[2];
    pthread_t thread[2];
    int i, code[2];
    for (i = 0; i < 2; ++i) {
        seen_init(&seen[i]);
        scan[i] = new_scan("effects", i == 0 ? "two-0.json" : "two-1.json", &seen[i]);
        ombrel_scan_add_input(scan[i], in_work(i == 0 ? "mixed/a.so" : "mixed/c.so"));
    }
    for (i = 0; i < 2; ++i)
        pthread_create(&thread[i], NULL, start_scan, scan[i]);
    for (i = 0; i < 2; ++i) {
        pthread_join(thread[i], NULL);
        code[i] = ombrel_scan_wait(scan[i]);
    }
    for (i = 0; i < 2; ++i) {
        CHECK(code[i] == OMBREL_SCAN_OK, "scan %d: %s", i, ombrel_scan_error_name(code[i]));
        CHECK(seen[i].results == 5 && seen[i].ok == 4 + (i == 0), "scan %d: %d results, %d ok", i, seen[i].results,
              seen[i].ok);
        ombrel_scan_free(scan[i]);
        seen_destroy(&seen[i]);
    }
    printf("PASS: two_scans_at_once\n");
}

static pthread_mutex_t freed_mutex = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t freed_changed = PTHREAD_COND_INITIALIZER;
static int freed = 0;

static void frees_itself(void *user, const ombrel_scan_summary *summary)
{
    (void)summary;
    ombrel_scan_free(user);
    pthread_mutex_lock(&freed_mutex);
    freed = 1;
    pthread_cond_signal(&freed_changed);
    pthread_mutex_unlock(&freed_mutex);
}

/* Freed from its own callback: cancelled, and freed once it returns. */
static void free_from_a_callback(void)
{
    ombrel_scan *scan = ombrel_scan_new();
    ombrel_scan_add_input(scan, in_work("mixed"));
    ombrel_scan_set_cache_file(scan, in_work("free.json"));
    ombrel_scan_on_finished(scan, frees_itself, scan);
    CHECK(ombrel_scan_start(scan) == OMBREL_SCAN_OK, "%s", ombrel_scan_error_message());
    pthread_mutex_lock(&freed_mutex);
    while (!freed)
        pthread_cond_wait(&freed_changed, &freed_mutex);
    pthread_mutex_unlock(&freed_mutex);
    printf("PASS: free_from_a_callback\n");
}

/* The library leaves the host's signal handling as it was. Qt 5's process
 * code alone keeps a SIGCHLD handler of its own, which passes every signal
 * on to the one it found; Qt 6 has none. */
static void no_signal_handler(void)
{
#if defined(OMBREL_QT5)
    static const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
#else
    static const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD};
#endif
    size_t i;
    for (i = 0; i < sizeof signals / sizeof signals[0]; ++i) {
        struct sigaction action;
        sigaction(signals[i], NULL, &action);
        CHECK(action.sa_handler == SIG_DFL || action.sa_handler == SIG_IGN, "signal %d has a handler", signals[i]);
    }
    printf("PASS: no_signal_handler\n");
}

int run_embed_tests(void)
{
    char command[300];
    snprintf(work, sizeof work, "%s/tst_embed-XXXXXX", getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp");
    if (!mkdtemp(work))
        return 100;
    copy_plugin("good_effect", "effects", "a.so");
    copy_plugin("good_effect", "effects", "b.so");
    copy_plugin("instrument", "effects", "c.so");
    copy_plugin("main_only", "effects", "d.so");
    copy_plugin("good_effect", "mixed", "a.so");
    copy_plugin("crash_in_open", "mixed", "b.so");
    copy_plugin("no_entry_point", "mixed", "c.so");
    copy_plugin("good_effect", "hangs", "a.so");
    copy_plugin("hang_in_open", "hangs", "b.so");

    if (strcmp(ombrel_scan_version(), OMBREL_SCAN_VERSION) != 0) {
        printf("FAIL: library %s, header %s\n", ombrel_scan_version(), OMBREL_SCAN_VERSION);
        ++failures;
    }
    bad_arguments();
    free_from_a_callback();
    whole_scan();
    companion_beside_given_scanner();
    cancel_from_another_thread();
    slow_callback();
    two_scans_at_once();
    no_signal_handler();
    snprintf(command, sizeof command, "rm -rf '%s'", work);
    if (system(command) != 0)
        printf("could not remove %s\n", work);
    printf("%d failed\n", failures);
    return failures;
}

#ifndef OMBREL_QT_HOST
int main(void)
{
    return run_embed_tests();
}
#endif
