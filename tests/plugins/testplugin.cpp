// One VST 2 plug-in source, many behaviours: each build picks one with a
// compile definition named after what it simulates (see CMakeLists.txt).
//
// Every variant appends what the host does to it to the file named by
// OMBREL_TEST_TRACE, one word per event: entry, open, name, vendor,
// product, close, and unload when the library's destructors run.

#include "probe/vst2.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#if defined(TP_QT_WARNING_IN_OPEN)
#include <QtGlobal>
#endif

// The variants that try to harm the user during a scan (abuse_*): what
// they reach is next to their own folder, where the sandbox tests lay
// out a home, a cache, other plug-ins and listening sockets.
#if defined(TP_ABUSE_WRITE_FILES) || defined(TP_ABUSE_REACH_OUT) || defined(TP_ABUSE_KILL_ALL)                         \
    || defined(TP_ABUSE_KILL_PARENT) || defined(TP_ABUSE_DAEMONS) || defined(TP_ABUSE_EAT_MEMORY)                      \
    || defined(TP_ABUSE_PTRACE_PARENT) || defined(TP_ABUSE_WRITE_SERVER_MEMORY) || defined(TP_ABUSE_FORK_STORM)
#define TP_ABUSE
#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#endif

#define TP_EXPORT extern "C" __attribute__((visibility("default")))

// The variants that end the process from their own code: how, and where.
#if defined(TP_EXIT_0_IN_ENTRY) || defined(TP_EXIT_0_IN_OPEN)
#define TP_END_PROCESS() std::exit(0)
#elif defined(TP_EXIT_3_IN_ENTRY) || defined(TP_EXIT_3_IN_OPEN)
#define TP_END_PROCESS() std::exit(3)
#elif defined(TP_QUICK_EXIT_IN_ENTRY) || defined(TP_QUICK_EXIT_IN_OPEN)
#define TP_END_PROCESS() std::quick_exit(0)
#elif defined(TP_HARD_EXIT_IN_OPEN)
#define TP_END_PROCESS() _exit(0)
#endif
#if defined(TP_EXIT_0_IN_ENTRY) || defined(TP_EXIT_3_IN_ENTRY) || defined(TP_QUICK_EXIT_IN_ENTRY)
#define TP_END_IN_ENTRY
#elif defined(TP_END_PROCESS)
#define TP_END_IN_OPEN
#endif

namespace {

void trace(const char *event)
{
    if (const char *file = std::getenv("OMBREL_TEST_TRACE")) {
        if (FILE *out = std::fopen(file, "a")) {
            std::fprintf(out, "%s\n", event);
            std::fclose(out);
        }
    }
}

__attribute__((destructor)) void traceUnload()
{
    trace("unload");
}

struct Texts
{
    std::string name = "Test Effect";
    std::string vendor = "Kestrune Tests";
    std::string product = "Test Product";
};

Texts texts;
[[maybe_unused]] int32_t flags = 0;

#if defined(TP_INSTRUMENT)
// Like real instruments that run a worker from the moment the instance
// exists until effClose: unloading the code under it would crash, so the
// destructor makes that certain instead of likely.
std::atomic<bool> workerRunning{false};
std::thread worker;

void startWorker()
{
    workerRunning = true;
    worker = std::thread([] {
        while (workerRunning)
            std::this_thread::yield();
    });
}

void stopWorker()
{
    workerRunning = false;
    if (worker.joinable())
        worker.join();
}

__attribute__((destructor)) void refuseUnloadWhileRunning()
{
    if (worker.joinable()) {
        trace("unloaded-while-running");
        std::abort();
    }
}
#endif

void fill(void *buffer, const std::string &text)
{
#if defined(TP_UNTERMINATED_NAMES)
    // Uses every byte and leaves no terminating zero.
    std::memset(buffer, text.at(0), 256);
#else
    std::memcpy(buffer, text.c_str(), text.size() + 1);
#endif
}

[[maybe_unused]] intptr_t VST2_CALL dispatcher(Vst2::AEffect *effect, int32_t opcode, int32_t, intptr_t, void *ptr,
                                               float)
{
    switch (opcode) {
    case Vst2::effOpen:
        trace("open");
#if defined(TP_CRASH_IN_OPEN)
        std::raise(SIGSEGV);
#elif defined(TP_NOISY_CRASH)
        // More than a launcher keeps, on stdout, then last words on stderr.
        for (int i = 0; i < 200; ++i)
            std::printf("plug-in line %d on stdout\n", i);
        std::fflush(stdout);
        std::fputs("plug-in's last words\n", stderr);
        std::raise(SIGSEGV);
#elif defined(TP_HANG_IN_OPEN)
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
#elif defined(TP_END_IN_OPEN)
        TP_END_PROCESS();
#elif defined(TP_QT_WARNING_IN_OPEN)
        qWarning("a warning from the plug-in");
#endif
        // Channel counts are settled only once the effect is open.
        effect->numInputs = 3;
        effect->numOutputs = 5;
        return 0;
    case Vst2::effClose:
        trace("close");
#if defined(TP_INSTRUMENT)
        stopWorker();
#endif
        return 0;
    case Vst2::effGetEffectName:
        trace("name");
        fill(ptr, texts.name);
        return 1;
    case Vst2::effGetVendorString:
        trace("vendor");
        fill(ptr, texts.vendor);
        return 1;
    case Vst2::effGetProductString:
        trace("product");
        fill(ptr, texts.product);
        return 1;
    // Asked only by a describing scan, never in a host's conversation.
    case Vst2::effGetPlugCategory:
        trace("category");
        return (effect->flags & Vst2::effFlagsIsSynth) ? Vst2::kPlugCategSynth : Vst2::kPlugCategEffect;
    case Vst2::effGetVendorVersion:
        trace("vendor version");
        return 1203;
    case Vst2::effCanDo:
        trace("can do");
        return std::strcmp(static_cast<const char *>(ptr), "receiveVstMidiEvent") == 0
                && (effect->flags & Vst2::effFlagsIsSynth)
            ? 1
            : -1;
    default:
        return 0;
    }
}

// Asks the host for the time block from several threads at once, as the
// very first callbacks; every thread must get the same all-zero block.
[[maybe_unused]] std::string timeFromThreads(Vst2::HostCallback host)
{
    constexpr int kThreads = 8;
    std::atomic<int> waiting{kThreads};
    std::vector<intptr_t> answers(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            --waiting;
            while (waiting > 0)
                std::this_thread::yield();
            answers[i] = host(nullptr, Vst2::audioMasterGetTime, 0, 0, nullptr, 0.0f);
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    const Vst2::VstTimeInfo zero{};
    for (intptr_t answer : answers) {
        if (answer != answers[0] || answer == 0)
            return "time=differ";
        if (std::memcmp(reinterpret_cast<void *>(answer), &zero, sizeof zero) != 0)
            return "time=nonzero";
    }
    return "time=same";
}

// Reports the host's answers to the callbacks a plug-in may make from its
// entry point, before any effect exists.
[[maybe_unused]] std::string callbackAnswers(Vst2::HostCallback host)
{
    auto ask = [host](int32_t opcode) { return host(nullptr, opcode, 0, 0, nullptr, 0.0f); };
    const intptr_t time = ask(Vst2::audioMasterGetTime);
    const bool sameTime = time != 0 && ask(Vst2::audioMasterGetTime) == time;
    const intptr_t others = ask(Vst2::audioMasterAutomate) | ask(Vst2::audioMasterIdle)
        | ask(Vst2::audioMasterBeginEdit) | ask(Vst2::audioMasterEndEdit) | ask(9999) | ask(-1);
    return "version=" + std::to_string(ask(Vst2::audioMasterVersion))
        + " level=" + std::to_string(ask(Vst2::audioMasterGetCurrentProcessLevel))
        + (sameTime ? " time=same" : " time=differ") + " others=" + std::to_string(others);
}

// Writes lines to both standard streams for as long as it is let run.
[[noreturn]] [[maybe_unused]] void floodOutput()
{
    std::string lines;
    while (lines.size() < 65536)
        lines += "flooding the host with output, line after line after line\n";
    for (;;) {
        [[maybe_unused]] const ssize_t out = ::write(STDOUT_FILENO, lines.data(), lines.size());
        [[maybe_unused]] const ssize_t err = ::write(STDERR_FILENO, lines.data(), lines.size());
    }
}

#if defined(TP_ABUSE)
// The folder the plug-in file is in.
std::string ownFolder()
{
    Dl_info info = {};
    dladdr(reinterpret_cast<void *>(&ownFolder), &info);
    const std::string file = info.dli_fname ? info.dli_fname : "";
    return file.substr(0, file.rfind('/'));
}

[[maybe_unused]] void writeFile(const std::string &path, const char *text)
{
    std::string folder = path.substr(0, path.rfind('/'));
    for (size_t at = 1; (at = folder.find('/', at)) != std::string::npos; ++at)
        mkdir(folder.substr(0, at).c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    if (FILE *out = std::fopen(path.c_str(), "w")) {
        std::fputs(text, out);
        std::fclose(out);
    }
}

[[maybe_unused]] void connectTo(const sockaddr *address, socklen_t size)
{
    const int fd = socket(address->sa_family, SOCK_STREAM, 0);
    if (fd >= 0 && connect(fd, address, size) == 0) [[maybe_unused]]
        const ssize_t n = write(fd, "stolen\n", 7);
    if (fd >= 0)
        close(fd);
}

// Whether this process is in a PID namespace below the first: only there
// may a test plug-in kill everything it can reach, as root.
[[maybe_unused]] bool inNestedPidNamespace()
{
    FILE *status = std::fopen("/proc/self/status", "r");
    char line[256];
    bool nested = false;
    while (status && std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "NSpid:", 6) == 0)
            nested = std::strchr(line + 7, '\t') != nullptr || std::strchr(line + 7, ' ') != nullptr;
    }
    if (status)
        std::fclose(status);
    return nested;
}

void abuse()
{
    const std::string here = ownFolder();
    const std::string outside = here.substr(0, here.rfind('/'));
#if defined(TP_ABUSE_WRITE_FILES)
    const char *home = std::getenv("HOME");
    writeFile(std::string(home ? home : "/nonexistent") + "/.config/autostart/evil.desktop", "[Desktop Entry]\n");
    writeFile(outside + "/home/.config/autostart/evil.desktop", "[Desktop Entry]\n");
    writeFile(here + "/planted.so", "planted");
    writeFile(here + "/z_good.so", "overwritten");
    writeFile(outside + "/cache.json", "{\"forged\": true}");
    writeFile(outside + "/cache.json.journal", "\n{\"path\": \"forged\"}\n");
    for (const char *shared : {"/tmp", "/dev/shm", "/var/tmp"})
        writeFile(std::string(shared) + "/ombrel-abuse-" + std::to_string(getuid()), "secrets");
#elif defined(TP_ABUSE_REACH_OUT)
    if (FILE *portFile = std::fopen((outside + "/port").c_str(), "r")) {
        int port = 0;
        if (std::fscanf(portFile, "%d", &port) == 1) {
            sockaddr_in address = {};
            address.sin_family = AF_INET;
            address.sin_port = htons(uint16_t(port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            connectTo(reinterpret_cast<sockaddr *>(&address), sizeof address);
        }
        std::fclose(portFile);
    }
    sockaddr_un unixAddress = {};
    unixAddress.sun_family = AF_UNIX;
    std::snprintf(unixAddress.sun_path, sizeof unixAddress.sun_path, "%s/agent.sock", outside.c_str());
    connectTo(reinterpret_cast<sockaddr *>(&unixAddress), sizeof unixAddress);
    // An abstract name: no file to hide, only a network namespace keeps it out.
    sockaddr_un abstractAddress = {};
    abstractAddress.sun_family = AF_UNIX;
    std::snprintf(abstractAddress.sun_path + 1, sizeof abstractAddress.sun_path - 1, "%s", "ombrel-abuse-abstract");
    connectTo(reinterpret_cast<sockaddr *>(&abstractAddress), socklen_t(sizeof(sa_family_t) + 22));
#elif defined(TP_ABUSE_KILL_ALL)
    // Never as root outside a namespace of its own: that would end the machine's processes.
    if (getuid() != 0 || inNestedPidNamespace())
        kill(-1, SIGKILL);
#elif defined(TP_ABUSE_KILL_PARENT)
    kill(getppid(), SIGKILL);
#elif defined(TP_ABUSE_DAEMONS)
    // 300 daemons, each escaping its process group by setsid() and a second fork.
    for (int i = 0; i < 300; ++i) {
        if (fork() == 0) {
            setsid();
            if (fork() == 0) {
                execl("/bin/sleep", "sleep", "120", "ombrel-abuse-daemon", static_cast<char *>(nullptr));
                _exit(127);
            }
            _exit(0);
        }
    }
#elif defined(TP_ABUSE_EAT_MEMORY)
    // Touches 16 MiB after 16 MiB; stops by itself at 4 GiB, so that a
    // missing limit shows in the result rather than in the machine.
    std::vector<char *> eaten;
    for (int i = 0; i < 256; ++i) {
        char *block = static_cast<char *>(std::malloc(16 << 20));
        if (!block)
            std::abort();
        std::memset(block, 1, 16 << 20);
        eaten.push_back(block);
    }
    texts.name = "Ate 4 GiB";
#elif defined(TP_ABUSE_PTRACE_PARENT)
    // Stopping the process that waits for the scanner would hang the scan.
    if (ptrace(PTRACE_ATTACH, getppid(), nullptr, nullptr) == 0)
        texts.name = "Traced its parent";
#elif defined(TP_ABUSE_WRITE_SERVER_MEMORY)
    // The process that reports the result, and the sandbox's init: whoever
    // may write their memory decides what they report of later scans.
    for (const std::string &process : {std::to_string(getppid()), std::string("1")}) {
        const int fd = open(("/proc/" + process + "/mem").c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            close(fd);
            texts.name = "Opened the memory of " + process;
        }
    }
#elif defined(TP_ABUSE_FORK_STORM)
    // Starts processes until the kernel refuses one, and is named after how
    // many it got. Never as root, whom no process limit binds; at most
    // 3000, so that a missing limit shows in the result, not in the machine.
    // Ends them then: a sanitized scanner's leak check needs a thread at exit.
    std::vector<pid_t> children;
    while (getuid() != 0 && children.size() < 3000) {
        const pid_t child = fork();
        if (child < 0)
            break;
        if (child == 0) {
            pause();
            _exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    texts.name = "Started " + std::to_string(children.size());
#endif
}
#endif

[[maybe_unused]] Vst2::AEffect *createEffect([[maybe_unused]] Vst2::HostCallback host)
{
    trace("entry");
#if defined(TP_ABUSE)
    abuse();
#endif
#if defined(TP_END_IN_ENTRY)
    TP_END_PROCESS();
#endif
#if defined(TP_FLOOD_OUTPUT)
    floodOutput();
#endif
#if defined(TP_SPAWN_CHILD)
    // Leaves a process of its own behind, as plug-ins with helper daemons do.
    if (const pid_t child = fork(); child == 0) {
        execl("/bin/sleep", "sleep", "60", static_cast<char *>(nullptr));
        _exit(127);
    } else {
        trace(("child " + std::to_string(child)).c_str());
    }
#endif
#if defined(TP_ENTRY_RETURNS_NULL)
    return nullptr;
#else
#if defined(TP_INSTRUMENT)
    flags |= Vst2::effFlagsIsSynth;
    startWorker();
#elif defined(TP_PRODUCT_NAME_ONLY)
    texts.name.clear();
    texts.product = "Foo";
#elif defined(TP_NO_NAMES)
    texts.name.clear();
    texts.product.clear();
#elif defined(TP_CALLBACK_PROBE)
    texts.name = callbackAnswers(host);
#elif defined(TP_THREADED_CALLBACKS)
    texts.name = timeFromThreads(host);
#elif defined(TP_UNTERMINATED_NAMES)
    texts = {"N", "V", "P"};
#elif defined(TP_CONTROL_NAMES)
    // Would clear a terminal, colour it and forge a row of a table.
    texts.name = "Evil\x1b[2J\x1b[31mRed";
    texts.vendor = "Ven\tdor\nforged row\r";
#elif defined(TP_LATIN1_NAMES)
    texts.name = "Caf\xe9 \xb5-Gain";
    texts.vendor = "M\xfcller & S\xf6hne";
#endif
    static Vst2::AEffect effect{};
    effect.magic = 0x56737450; // 'VstP'
    effect.dispatcher = dispatcher;
    effect.numInputs = -1; // only valid after effOpen
    effect.numOutputs = -1;
    effect.flags = flags;
    effect.numParams = 4;
    effect.numPrograms = 2;
    effect.version = 1100;
#if defined(TP_GOOD_EFFECT)
    effect.uniqueID = 0x4B735465; // 'KsTe'
#elif defined(TP_INSTRUMENT)
    effect.uniqueID = 0x4B735469; // 'KsTi'
#endif
    return &effect;
#endif
}

} // namespace

#if defined(TP_BOTH_ENTRY_POINTS) || defined(TP_MAIN_ONLY)
// Old plug-ins export their entry point as "main"; a C++ function of that
// name is not allowed, so the symbol name is given directly.
TP_EXPORT Vst2::AEffect *VST2_CALL legacyMain(Vst2::HostCallback host) __asm__("main");
TP_EXPORT Vst2::AEffect *VST2_CALL legacyMain(Vst2::HostCallback host)
{
    Vst2::AEffect *effect = createEffect(host);
    texts.name = "via main";
    return effect;
}
#endif

#if defined(TP_NO_ENTRY_POINT)
// A library, but not a plug-in.
TP_EXPORT int notAnEntryPoint()
{
    return 0;
}
#elif !defined(TP_MAIN_ONLY)
TP_EXPORT Vst2::AEffect *VST2_CALL VSTPluginMain(Vst2::HostCallback host)
{
    Vst2::AEffect *effect = createEffect(host);
#if defined(TP_BOTH_ENTRY_POINTS)
    texts.name = "via VSTPluginMain";
#endif
    return effect;
}
#endif

// LADSPA and DSSI: the variants ladspa_* and dssi_* also answer
// ladspa_descriptor or dssi_descriptor (and stay VST 2 plug-ins as well,
// as a library may carry several formats). Each descriptor call is traced
// as "descriptor <index>".
#if defined(TP_LADSPA_PLUGINS) || defined(TP_LADSPA_CRASH) || defined(TP_LADSPA_HANG) || defined(TP_LADSPA_ENDLESS)    \
    || defined(TP_DSSI_PLUGINS)
#include <ladspa.h>
#if defined(TP_DSSI_PLUGINS)
#include <dssi.h>
#endif

namespace {

const LADSPA_PortDescriptor kStereoPorts[] = {
    LADSPA_PORT_AUDIO | LADSPA_PORT_INPUT,    LADSPA_PORT_AUDIO | LADSPA_PORT_INPUT,
    LADSPA_PORT_AUDIO | LADSPA_PORT_OUTPUT,   LADSPA_PORT_AUDIO | LADSPA_PORT_OUTPUT,
    LADSPA_PORT_CONTROL | LADSPA_PORT_INPUT,  LADSPA_PORT_CONTROL | LADSPA_PORT_INPUT,
    LADSPA_PORT_CONTROL | LADSPA_PORT_OUTPUT,
};
const LADSPA_PortDescriptor kSynthPorts[]
    = {LADSPA_PORT_AUDIO | LADSPA_PORT_OUTPUT, LADSPA_PORT_CONTROL | LADSPA_PORT_INPUT};

LADSPA_Descriptor ladspaPlugin(unsigned long id, const char *label, const char *name,
                               const LADSPA_PortDescriptor *ports, unsigned long portCount)
{
    LADSPA_Descriptor descriptor{};
    descriptor.UniqueID = id;
    descriptor.Label = label;
    descriptor.Name = name;
    descriptor.Maker = "Kestrune Tests";
    descriptor.Copyright = "None";
    descriptor.PortDescriptors = ports;
    descriptor.PortCount = portCount;
    return descriptor;
}

// A name far past any bound a reader should keep.
const char *longName()
{
    static const std::string name(100000, 'n');
    return name.c_str();
}

const LADSPA_Descriptor *testLadspaDescriptor(unsigned long index)
{
    trace(("descriptor " + std::to_string(index)).c_str());
#if defined(TP_LADSPA_HANG)
    for (;;)
        pause();
#elif defined(TP_LADSPA_CRASH)
    if (index == 1)
        std::raise(SIGSEGV);
#endif
    static LADSPA_Descriptor plugins[] = {
        ladspaPlugin(4001, "stereo", "Test Stereo", kStereoPorts, 7),
        ladspaPlugin(4002, "synth", "Test Synth", kSynthPorts, 2),
        // No maker, a port count without a port list, an endless name.
        ladspaPlugin(4003, "odd", longName(), nullptr, 3),
    };
    plugins[2].Maker = nullptr;
#if defined(TP_LADSPA_ENDLESS)
    return &plugins[index % 3];
#else
    return index < 3 ? &plugins[index] : nullptr;
#endif
}

#if defined(TP_DSSI_PLUGINS)
void runSynth(LADSPA_Handle, unsigned long, snd_seq_event_t *, unsigned long) { }

const DSSI_Descriptor *testDssiDescriptor(unsigned long index)
{
    trace(("dssi descriptor " + std::to_string(index)).c_str());
    static DSSI_Descriptor plugins[2] = {};
    plugins[0].DSSI_API_Version = 1;
    plugins[0].LADSPA_Plugin = testLadspaDescriptor(1);
    plugins[0].run_synth = runSynth;
    plugins[1].DSSI_API_Version = 1;
    plugins[1].LADSPA_Plugin = testLadspaDescriptor(0);
    return index < 2 ? &plugins[index] : nullptr;
}
#endif

} // namespace

TP_EXPORT const LADSPA_Descriptor *ladspa_descriptor(unsigned long index)
{
    return testLadspaDescriptor(index);
}

#if defined(TP_DSSI_PLUGINS)
TP_EXPORT const DSSI_Descriptor *dssi_descriptor(unsigned long index)
{
    return testDssiDescriptor(index);
}
#endif
#endif

// LV2: the binary of the bundle lv2/writes_file.lv2. LV2 is described from
// its data alone, so any sign of this code running is a fault: loading the
// library, asking for a descriptor or running the dynamic manifest each
// trace a word.
#if defined(TP_LV2_WRITES_FILE)
namespace {

__attribute__((constructor)) void traceLv2Load()
{
    trace("lv2 loaded");
}

} // namespace

TP_EXPORT const void *lv2_descriptor(unsigned int)
{
    trace("lv2 descriptor");
    return nullptr;
}

TP_EXPORT int lv2_dyn_manifest_open(void **, const void *const *)
{
    trace("lv2 dynamic manifest");
    return 1;
}
#endif
