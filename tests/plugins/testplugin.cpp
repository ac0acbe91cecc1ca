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
    char abstractName[64] = {};
    if (FILE *nameFile = std::fopen((outside + "/abstract").c_str(), "r")) {
        if (!std::fgets(abstractName, sizeof abstractName, nameFile))
            abstractName[0] = 0;
        std::fclose(nameFile);
    }
    sockaddr_un abstractAddress = {};
    abstractAddress.sun_family = AF_UNIX;
    std::snprintf(abstractAddress.sun_path + 1, sizeof abstractAddress.sun_path - 1, "%s", abstractName);
    connectTo(reinterpret_cast<sockaddr *>(&abstractAddress),
              socklen_t(sizeof(sa_family_t) + 1 + std::strlen(abstractName)));
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

// ---------------------------------------------------------------------------
// VST 3 and CLAP variants (vst3_*, clap_*): one module with several classes
// or plug-ins, an effect and an instrument, or one misbehaviour. Faults
// are named <fault>_in_<place>: a crash, a hang or an exit() in the entry
// (ModuleEntry, clap_entry's init), the factory (GetPluginFactory,
// get_factory) or the initialization of an instance. Trace words: entry,
// factory, init, terminate, destroy, exit (ModuleExit, deinit), and what
// went wrong: leaked <n>, uninitialized, extension-before-init, not-main-thread.
#if defined(TP_VST3) || defined(TP_CLAP)

#include <atomic>
#include <cstdint>

namespace {

[[maybe_unused]] void fault([[maybe_unused]] const char *place)
{
#if defined(TP_FAULT_CRASH)
    std::raise(SIGSEGV);
#elif defined(TP_FAULT_HANG)
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
#elif defined(TP_FAULT_EXIT)
    std::exit(0);
#endif
}

#if defined(TP_FAULT_IN_ENTRY)
#define TP_FAULT_AT_ENTRY() fault("entry")
#else
#define TP_FAULT_AT_ENTRY()
#endif
#if defined(TP_FAULT_IN_FACTORY)
#define TP_FAULT_AT_FACTORY() fault("factory")
#else
#define TP_FAULT_AT_FACTORY()
#endif
#if defined(TP_FAULT_IN_INIT)
#define TP_FAULT_AT_INIT() fault("init")
#else
#define TP_FAULT_AT_INIT()
#endif

// Objects alive, counted so that a scan that forgets a release shows.
std::atomic<int> liveObjects{0};

void traceLeaks()
{
    if (const int live = liveObjects.load())
        trace(("leaked " + std::to_string(live)).c_str());
}

} // namespace

#endif

#if defined(TP_VST3)
#include "probe/vst3/vst3abi.h"

namespace {

using namespace Vst3;

bool sameIid(const char *iid, const Iid &wanted)
{
    return std::memcmp(iid, wanted.bytes, sizeof wanted.bytes) == 0;
}

// Classes: an effect whose controller is a class of its own, that
// controller, and an instrument that is its own controller.
enum ClassRole { EffectClass, ControllerClass, InstrumentClass };

#if defined(TP_VST3_NO_CLASSES)
constexpr int32_t kClassCount = 0;
#elif defined(TP_VST3_MANY_CLASSES)
constexpr int32_t kClassCount = 10000;
#else
constexpr int32_t kClassCount = 3;
#endif

ClassRole roleOf(int32_t index)
{
#if defined(TP_VST3_MANY_CLASSES)
    (void)index;
    return EffectClass;
#else
    return ClassRole(index);
#endif
}

// Class IDs: "KTST", the role, then the index.
void classId(int32_t index, char *cid)
{
    std::memset(cid, 0, 16);
    std::memcpy(cid, "KTST", 4);
    cid[4] = char(roleOf(index));
    std::memcpy(cid + 8, &index, sizeof index);
}

int32_t classIndexOf(const char *cid)
{
    int32_t index = -1;
    if (std::memcmp(cid, "KTST", 4) == 0)
        std::memcpy(&index, cid + 8, sizeof index);
    return index >= 0 && index < kClassCount ? index : -1;
}

void fillText(char *field, size_t size, const char *text)
{
#if defined(TP_VST3_UNTERMINATED)
    std::memset(field, text[0], size);
#else
    std::snprintf(field, size, "%s", text);
#endif
}

void fillText16(char16 *field, size_t size, const char *text)
{
#if defined(TP_VST3_UNTERMINATED)
    for (size_t i = 0; i < size; ++i)
        field[i] = char16(text[0]);
#else
    size_t i = 0;
    for (; text[i] && i + 1 < size; ++i)
        field[i] = char16(text[i]); // ASCII only
    field[i] = 0;
#endif
}

struct ClassTexts
{
    const char *category;
    const char *name;
    const char *subCategories;
};

ClassTexts textsOf(int32_t index)
{
    switch (roleOf(index)) {
    case EffectClass:
        return {kAudioModuleClass, "Test Delay", "Fx|Delay"};
    case ControllerClass:
        return {"Component Controller Class", "Test Delay Controller", ""};
    case InstrumentClass:
        return {kAudioModuleClass, "Test Synth", "Instrument|Synth"};
    }
    return {};
}

// The context a plug-in is initialized with must be the host application.
bool isHostApplication(void *context)
{
    if (!context)
        return false;
    auto *unknown = static_cast<Object<FUnknownVtbl> *>(context);
    void *host = nullptr;
    if (unknown->vtbl->queryInterface(unknown, kHostApplicationIid.bytes, &host) != kResultOk || !host)
        return false;
    char16 name[128] = {};
    auto *application = static_cast<Object<HostApplicationVtbl> *>(host);
    const bool named = application->vtbl->getName(application, name) == kResultOk && name[0] != 0;
    application->vtbl->unknown.release(application);
    return named;
}

tresult notImplemented1(void *, void *)
{
    return kNotImplemented;
}

// Objects start at one reference and delete themselves at zero. The
// table pointer comes first, as the binary interface has it: no C++
// virtual functions here.
struct Component;
uint32_t releaseComponent(Component *component);
uint32_t addRefComponent(Component *component);

struct Controller
{
    const EditControllerVtbl *vtbl;
    std::atomic<uint32_t> refs{1};
    Component *owner = nullptr; // the component this is a face of, if any
    int32_t parameters = 3;
    bool initialized = false;

    Controller();

    static tresult queryInterface(void *self, const char *iid, void **object)
    {
        if (sameIid(iid, kFUnknownIid) || sameIid(iid, kEditControllerIid)) {
            addRefOf(self);
            *object = self;
            return kResultOk;
        }
        *object = nullptr;
        return kNoInterface;
    }
    static uint32_t addRefOf(void *self)
    {
        auto *controller = static_cast<Controller *>(self);
        return controller->owner ? addRefComponent(controller->owner) : ++controller->refs;
    }
    static uint32_t releaseOf(void *self)
    {
        auto *controller = static_cast<Controller *>(self);
        if (controller->owner)
            return releaseComponent(controller->owner);
        const uint32_t left = --controller->refs;
        if (left == 0) {
            delete controller;
            --liveObjects;
        }
        return left;
    }
    static tresult initialize(void *self, void *context)
    {
        trace("controller-init");
        static_cast<Controller *>(self)->initialized = isHostApplication(context);
        return static_cast<Controller *>(self)->initialized ? kResultOk : kResultFalse;
    }
    static tresult terminate(void *)
    {
        trace("controller-terminate");
        return kResultOk;
    }
    static int32_t parameterCount(void *self)
    {
        auto *controller = static_cast<Controller *>(self);
        if (!controller->initialized)
            trace("uninitialized");
        return controller->parameters;
    }
};

const EditControllerVtbl controllerVtbl = {{Controller::queryInterface, Controller::addRefOf, Controller::releaseOf},
                                           Controller::initialize,
                                           Controller::terminate,
                                           notImplemented1,
                                           notImplemented1,
                                           notImplemented1,
                                           Controller::parameterCount};

Controller::Controller()
    : vtbl(&controllerVtbl)
{
}

struct Bus
{
    int32_t channels;
    int32_t busType;
};

struct Component
{
    const ComponentVtbl *vtbl;
    std::atomic<uint32_t> refs{1};
    int32_t index;
    bool initialized = false;
    Controller ownController; // the instrument is its own controller

    explicit Component(int32_t classIndex);

    std::vector<Bus> buses(int32_t type, int32_t direction) const
    {
        const bool instrument = roleOf(index) == InstrumentClass;
        if (type == kAudio && direction == kInput)
            return instrument ? std::vector<Bus>{} : std::vector<Bus>{{2, kMain}, {1, kAux}};
        if (type == kAudio && direction == kOutput)
            return instrument ? std::vector<Bus>{{2, kMain}, {2, kAux}} : std::vector<Bus>{{2, kMain}};
        if (type == kEvent && direction == kInput && instrument)
            return {{16, kMain}};
        return {};
    }

    static tresult queryInterface(void *self, const char *iid, void **object)
    {
        auto *component = static_cast<Component *>(self);
        if (sameIid(iid, kFUnknownIid) || sameIid(iid, kComponentIid)) {
            ++component->refs;
            *object = self;
            return kResultOk;
        }
        if (sameIid(iid, kEditControllerIid) && roleOf(component->index) == InstrumentClass) {
            ++component->refs;
            *object = &component->ownController;
            return kResultOk;
        }
        *object = nullptr;
        return kNoInterface;
    }
    static tresult initialize(void *self, void *context)
    {
        trace("init");
        TP_FAULT_AT_INIT();
        auto *component = static_cast<Component *>(self);
        component->initialized = isHostApplication(context);
        return component->initialized ? kResultOk : kResultFalse;
    }
    static tresult terminate(void *self)
    {
        trace("terminate");
        static_cast<Component *>(self)->initialized = false;
        return kResultOk;
    }
    static tresult controllerClassId(void *self, char *out)
    {
        const int32_t index = static_cast<Component *>(self)->index;
        if (roleOf(index) != EffectClass || kClassCount < 2)
            return kNotImplemented;
        classId(1, out);
        return kResultOk;
    }
    static tresult setIoMode(void *, int32_t) { return kNotImplemented; }
    static int32_t busCount(void *self, int32_t type, int32_t direction)
    {
        auto *component = static_cast<Component *>(self);
        if (!component->initialized)
            trace("uninitialized");
        return int32_t(component->buses(type, direction).size());
    }
    static tresult busInfo(void *self, int32_t type, int32_t direction, int32_t index, BusInfo *info)
    {
        const std::vector<Bus> buses = static_cast<Component *>(self)->buses(type, direction);
        if (index < 0 || size_t(index) >= buses.size())
            return kInvalidArgument;
        *info = BusInfo{};
        info->mediaType = type;
        info->direction = direction;
        info->channelCount = buses[size_t(index)].channels;
        info->busType = buses[size_t(index)].busType;
        fillText16(info->name, 128, "Bus");
        return kResultOk;
    }
    static tresult routingInfo(void *, void *, void *) { return kNotImplemented; }
    static tresult activateBus(void *, int32_t, int32_t, int32_t, uint8_t) { return kNotImplemented; }
    static tresult setActive(void *, uint8_t) { return kNotImplemented; }
};

uint32_t addRefComponent(Component *component)
{
    return ++component->refs;
}

uint32_t releaseComponent(Component *component)
{
    const uint32_t left = --component->refs;
    if (left == 0) {
        delete component;
        --liveObjects;
    }
    return left;
}

uint32_t addRefComponentOf(void *self)
{
    return addRefComponent(static_cast<Component *>(self));
}

uint32_t releaseComponentOf(void *self)
{
    return releaseComponent(static_cast<Component *>(self));
}

const ComponentVtbl componentVtbl = {{Component::queryInterface, addRefComponentOf, releaseComponentOf},
                                     Component::initialize,
                                     Component::terminate,
                                     Component::controllerClassId,
                                     Component::setIoMode,
                                     Component::busCount,
                                     Component::busInfo,
                                     Component::routingInfo,
                                     Component::activateBus,
                                     Component::setActive,
                                     notImplemented1,
                                     notImplemented1};

Component::Component(int32_t classIndex)
    : vtbl(&componentVtbl)
    , index(classIndex)
{
    ++liveObjects;
    // A face of this component, counted with it.
    ownController.owner = this;
    ownController.parameters = 5;
    ownController.initialized = true;
}

// The one factory, answering IPluginFactory 1 to 3 with itself.
struct Factory
{
    const PluginFactoryVtbl *vtbl;
    std::atomic<uint32_t> refs{0};

    static tresult queryInterface(void *self, const char *iid, void **object)
    {
#if defined(TP_VST3_FACTORY_V1)
        // An early module: the first factory interface only, with its short class records.
        const bool answered = sameIid(iid, kFUnknownIid) || sameIid(iid, kPluginFactoryIid);
#else
        const bool answered = sameIid(iid, kFUnknownIid) || sameIid(iid, kPluginFactoryIid)
            || sameIid(iid, kPluginFactory2Iid) || sameIid(iid, kPluginFactory3Iid);
#endif
        if (answered) {
            addRefOf(self);
            *object = self;
            return kResultOk;
        }
        *object = nullptr;
        return kNoInterface;
    }
    static uint32_t addRefOf(void *self)
    {
        if (static_cast<Factory *>(self)->refs++ == 0)
            ++liveObjects;
        return static_cast<Factory *>(self)->refs;
    }
    static uint32_t releaseOf(void *self)
    {
        const uint32_t left = --static_cast<Factory *>(self)->refs;
        if (left == 0)
            --liveObjects;
        return left;
    }
    static tresult factoryInfo(void *, PFactoryInfo *info)
    {
        *info = PFactoryInfo{};
        fillText(info->vendor, sizeof info->vendor, "Kestrune Tests");
        info->flags = 16; // Unicode
        return kResultOk;
    }
    static int32_t countClasses(void *)
    {
        return kClassCount;
    }
    static tresult classInfo(void *, int32_t index, PClassInfo *info)
    {
        if (index < 0 || index >= kClassCount)
            return kInvalidArgument;
        *info = PClassInfo{};
        classId(index, info->cid);
        std::snprintf(info->category, sizeof info->category, "%s", textsOf(index).category);
        fillText(info->name, sizeof info->name, textsOf(index).name);
        return kResultOk;
    }
    static tresult createInstance(void *, const char *cid, const char *iid, void **object)
    {
        *object = nullptr;
        const int32_t index = classIndexOf(cid);
        if (index < 0)
            return kInvalidArgument;
        if (roleOf(index) == ControllerClass && sameIid(iid, kEditControllerIid)) {
            *object = new Controller();
            ++liveObjects;
            return kResultOk;
        }
        if (roleOf(index) != ControllerClass && sameIid(iid, kComponentIid)) {
            *object = new Component(index);
            return kResultOk;
        }
        return kNoInterface;
    }
    static tresult classInfo2(void *, int32_t, PClassInfo2 *)
    {
        return kNotImplemented; // the Unicode record is offered
    }
    static tresult classInfoUnicode(void *, int32_t index, PClassInfoW *info)
    {
        if (index < 0 || index >= kClassCount)
            return kInvalidArgument;
        *info = PClassInfoW{};
        classId(index, info->cid);
        info->cardinality = 0x7FFFFFFF;
        std::snprintf(info->category, sizeof info->category, "%s", textsOf(index).category);
        fillText16(info->name, 64, textsOf(index).name);
        fillText(info->subCategories, sizeof info->subCategories, textsOf(index).subCategories);
        fillText16(info->vendor, 64, index == 0 ? "" : "Kestrune Synths"); // the first falls back to the factory's
        fillText16(info->version, 64, "1.2.3");
        fillText16(info->sdkVersion, 64, "VST 3.7.14");
        return kResultOk;
    }
    static tresult setHostContext(void *, void *context)
    {
        trace(context ? "context" : "no-context");
        return kResultOk;
    }
};

const PluginFactoryVtbl factoryVtbl = {{Factory::queryInterface, Factory::addRefOf, Factory::releaseOf},
                                       Factory::factoryInfo,
                                       Factory::countClasses,
                                       Factory::classInfo,
                                       Factory::createInstance,
                                       Factory::classInfo2,
                                       Factory::classInfoUnicode,
                                       Factory::setHostContext};
Factory factory = {&factoryVtbl};

} // namespace

TP_EXPORT bool ModuleEntry(void *)
{
    trace("entry");
    TP_FAULT_AT_ENTRY();
    return true;
}

TP_EXPORT bool ModuleExit()
{
    trace("exit");
    traceLeaks();
    return true;
}

TP_EXPORT void *GetPluginFactory()
{
    trace("factory");
    TP_FAULT_AT_FACTORY();
    Factory::addRefOf(&factory);
    return &factory;
}
#endif

#if defined(TP_CLAP)
#include "probe/clap/clapabi.h"

namespace {

#if defined(TP_CLAP_NO_PLUGINS)
constexpr uint32_t kPluginCount = 0;
#elif defined(TP_CLAP_MANY_PLUGINS)
constexpr uint32_t kPluginCount = 10000;
#elif defined(TP_CLAP_NULL_FIELDS)
constexpr uint32_t kPluginCount = 3;
#else
constexpr uint32_t kPluginCount = 2;
#endif

const char *const effectFeatures[] = {"audio-effect", "delay", "stereo", nullptr};
const char *const instrumentFeatures[] = {"instrument", "synthesizer", nullptr};

const Clap::PluginDescriptor effectDescriptor
    = {{1, 2, 10}, "com.kestrune.tests.delay", "Test Delay",  "Kestrune Tests", "", "", "",
       "1.2.3",    "Delays what it hears",     effectFeatures};
const Clap::PluginDescriptor instrumentDescriptor
    = {{1, 2, 10}, "com.kestrune.tests.synth", "Test Synth", "Kestrune Synths", nullptr, nullptr, nullptr, "2.0",
       nullptr,    instrumentFeatures};
// Only the name and id given: a host must take every other field as absent.
const Clap::PluginDescriptor bareDescriptor
    = {{1, 0, 0}, "com.kestrune.tests.bare", "Bare", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
const Clap::PluginDescriptor noIdDescriptor
    = {{1, 0, 0}, nullptr, "No Id", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

const Clap::PluginDescriptor *descriptorAt(uint32_t index)
{
#if defined(TP_CLAP_NULL_FIELDS)
    const Clap::PluginDescriptor *descriptors[] = {nullptr, &noIdDescriptor, &bareDescriptor};
    return index < kPluginCount ? descriptors[index] : nullptr;
#else
    if (index >= kPluginCount)
        return nullptr;
    return index % 2 == 0 ? &effectDescriptor : &instrumentDescriptor;
#endif
}

struct Instance
{
    Clap::Plugin plugin;
    const Clap::Host *host;
    bool instrument;
    bool initialized = false;
};

Instance *instanceOf(const Clap::Plugin *plugin)
{
    return static_cast<Instance *>(plugin->pluginData);
}

bool initPlugin(const Clap::Plugin *plugin)
{
    trace("init");
    TP_FAULT_AT_INIT();
    Instance *instance = instanceOf(plugin);
    const auto *threads = static_cast<const Clap::HostThreadCheck *>(
        instance->host->getExtension(instance->host, Clap::kThreadCheckId));
    if (!threads || !threads->isMainThread(instance->host) || threads->isAudioThread(instance->host)) {
        trace("not-main-thread");
        return false;
    }
#if !defined(TP_CLAP_MANY_PLUGINS)
    if (const auto *log
        = static_cast<const Clap::HostLog *>(instance->host->getExtension(instance->host, Clap::kLogId)))
        log->log(instance->host, 1, "initialized");
#endif
    instance->initialized = true;
    return true;
}

void destroyPlugin(const Clap::Plugin *plugin)
{
    trace("destroy");
    delete instanceOf(plugin);
    --liveObjects;
}

uint32_t audioPortCount(const Clap::Plugin *plugin, bool isInput)
{
    // The effect: stereo in with a mono side-chain, stereo out; the instrument: stereo out only.
    return instanceOf(plugin)->instrument ? (isInput ? 0 : 1) : (isInput ? 2 : 1);
}

bool audioPort(const Clap::Plugin *plugin, uint32_t index, bool isInput, Clap::AudioPortInfo *info)
{
    if (index >= audioPortCount(plugin, isInput))
        return false;
    *info = Clap::AudioPortInfo{};
    info->id = index;
    std::memset(info->name, 'P', sizeof info->name); // fills the field, no terminating NUL
    info->flags = index == 0 ? Clap::kAudioPortIsMain : 0;
    info->channelCount = index == 0 ? 2 : 1;
    info->inPlacePair = 0xFFFFFFFF;
    return true;
}

uint32_t notePortCount(const Clap::Plugin *plugin, bool isInput)
{
    return instanceOf(plugin)->instrument && isInput ? 1 : 0;
}

bool notePort(const Clap::Plugin *plugin, uint32_t index, bool isInput, Clap::NotePortInfo *info)
{
    if (index >= notePortCount(plugin, isInput))
        return false;
    *info = Clap::NotePortInfo{};
    info->supportedDialects = Clap::kNoteDialectClap | Clap::kNoteDialectMidi;
    info->preferredDialect = Clap::kNoteDialectMidi;
    return true;
}

uint32_t parameterCount(const Clap::Plugin *plugin)
{
    return instanceOf(plugin)->instrument ? 7 : 4;
}

const Clap::PluginAudioPorts audioPorts = {audioPortCount, audioPort};
const Clap::PluginNotePorts notePorts = {notePortCount, notePort};
const Clap::PluginParams params = {parameterCount};
const int guiMarker = 0; // never called: its presence is what a scan reads

const void *pluginExtension(const Clap::Plugin *plugin, const char *id)
{
    Instance *instance = instanceOf(plugin);
    if (!instance->initialized) {
        trace("extension-before-init");
        return nullptr;
    }
    if (std::strcmp(id, Clap::kAudioPortsId) == 0)
        return &audioPorts;
    if (std::strcmp(id, Clap::kNotePortsId) == 0)
        return instance->instrument ? &notePorts : nullptr;
    if (std::strcmp(id, Clap::kParamsId) == 0)
        return &params;
    if (std::strcmp(id, Clap::kGuiId) == 0)
        return instance->instrument ? nullptr : &guiMarker;
    return nullptr;
}

bool activate(const Clap::Plugin *, double, uint32_t, uint32_t)
{
    trace("activate");
    return false;
}
void noop(const Clap::Plugin *) { }
bool refuse(const Clap::Plugin *)
{
    return false;
}
int32_t process(const Clap::Plugin *, const void *)
{
    return 0;
}

uint32_t pluginCount(const Clap::PluginFactory *)
{
    return kPluginCount;
}

const Clap::PluginDescriptor *pluginDescriptor(const Clap::PluginFactory *, uint32_t index)
{
    return descriptorAt(index);
}

const Clap::Plugin *createPlugin(const Clap::PluginFactory *, const Clap::Host *host, const char *id)
{
    const Clap::PluginDescriptor *descriptor = nullptr;
    for (uint32_t index = 0; index < kPluginCount && !descriptor; ++index) {
        const Clap::PluginDescriptor *candidate = descriptorAt(index);
        if (candidate && candidate->id && id && std::strcmp(candidate->id, id) == 0)
            descriptor = candidate;
    }
    if (!descriptor || !host)
        return nullptr;
    auto *instance = new Instance{{}, host, descriptor == &instrumentDescriptor};
    ++liveObjects;
    instance->plugin = {descriptor, instance, initPlugin, destroyPlugin, activate,        noop,
                        refuse,     noop,     noop,       process,       pluginExtension, noop};
    return &instance->plugin;
}

const Clap::PluginFactory pluginFactory = {pluginCount, pluginDescriptor, createPlugin};

bool entryInit(const char *path)
{
    trace("entry");
    TP_FAULT_AT_ENTRY();
    return path && *path;
}

void entryDeinit()
{
    trace("exit");
    traceLeaks();
}

const void *entryFactory(const char *id)
{
    trace("factory");
    TP_FAULT_AT_FACTORY();
#if defined(TP_CLAP_ANY_FACTORY)
    // Wrong, but met in the wild: the plug-in factory whatever is asked.
    (void)id;
    return &pluginFactory;
#else
    return std::strcmp(id, Clap::kPluginFactoryId) == 0 ? &pluginFactory : nullptr;
#endif
}

} // namespace

#if defined(TP_CLAP_DRAFT_VERSION)
// Built against the format's draft: no host may call into it.
TP_EXPORT const Clap::PluginEntry clap_entry = {{0, 3, 0}, entryInit, entryDeinit, entryFactory};
#else
TP_EXPORT const Clap::PluginEntry clap_entry = {{1, 2, 10}, entryInit, entryDeinit, entryFactory};
#endif
#endif
