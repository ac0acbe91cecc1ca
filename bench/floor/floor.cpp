// The floor: what any scanner of this kind must pay for one plug-in, with no
// Qt. Loads the library, enters it with the scanner's own host callback,
// opens, queries and closes the effect (opens and closes an instrument),
// unloads it and writes the same seven-key INI group atomically and durably
// (temporary file, fsync, rename). Exit code 0 on success, 5 otherwise.
//
// Usage: floor <plugin path>

#include "probe/hostcallback.h"
#include "probe/vst2.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// --- SHA-1 of the path as the store keys it --------------------------------

struct Sha1
{
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};

    static uint32_t rol(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

    void block(const unsigned char *p)
    {
        uint32_t w[80];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 | p[4 * i + 3];
        for (int i = 16; i < 80; ++i)
            w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            uint32_t f, k;
            if (i < 20) {
                f = (b & c) | (~b & d);
                k = 0x5A827999;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1;
            } else if (i < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6;
            }
            const uint32_t t = rol(a, 5) + f + e + k + w[i];
            e = d;
            d = c;
            c = rol(b, 30);
            b = a;
            a = t;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    }

    std::string hex(std::string data)
    {
        const uint64_t bits = uint64_t(data.size()) * 8;
        data += char(0x80);
        while (data.size() % 64 != 56)
            data += char(0);
        for (int i = 7; i >= 0; --i)
            data += char(bits >> (8 * i));
        for (size_t i = 0; i < data.size(); i += 64)
            block(reinterpret_cast<const unsigned char *>(data.data() + i));
        std::string out;
        char digits[9];
        for (uint32_t v : h) {
            std::snprintf(digits, sizeof digits, "%08x", v);
            out += digits;
        }
        return out;
    }
};

// The path serialised as a Qt data stream writes a string: a big-endian byte
// count, then big-endian UTF-16 code units. Arguments arrive as UTF-8.
std::string groupKey(const std::string &path)
{
    std::string units;
    auto unit = [&units](uint32_t u) {
        units += char(u >> 8);
        units += char(u & 0xFF);
    };
    for (size_t i = 0; i < path.size();) {
        const unsigned char c = path[i];
        uint32_t cp = c;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        cp = extra ? c & (0x3F >> extra) : c;
        for (int j = 1; j <= extra && i + j < path.size(); ++j)
            cp = cp << 6 | (static_cast<unsigned char>(path[i + j]) & 0x3F);
        i += 1 + extra;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 | (cp >> 10));
            unit(0xDC00 | (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    std::string stream;
    const uint32_t size = uint32_t(units.size());
    for (int i = 3; i >= 0; --i)
        stream += char(size >> (8 * i));
    return Sha1().hex(stream + units);
}

// --- the plug-in ------------------------------------------------------------

struct Record
{
    std::string name, vendor;
    int ins = 0, outs = 0;
    bool instrument = false;
};

std::string text(const char (&buffer)[256])
{
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

bool probe(const std::string &path, Record &record)
{
    void *library = dlopen(path.c_str(), RTLD_LAZY);
    if (!library)
        return false;
    auto entry = reinterpret_cast<Vst2::EntryPoint>(dlsym(library, "VSTPluginMain"));
    if (!entry)
        entry = reinterpret_cast<Vst2::EntryPoint>(dlsym(library, "main"));
    Vst2::AEffect *effect = entry ? entry(hostCallback) : nullptr;
    if (effect) {
        auto dispatch = [effect](int32_t opcode, void *ptr) { effect->dispatcher(effect, opcode, 0, 0, ptr, 0.0f); };
        const size_t slash = path.rfind('/');
        const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
        dispatch(Vst2::effOpen, nullptr);
        record.instrument = effect->flags & Vst2::effFlagsIsSynth;
        if (record.instrument) {
            record.name = file;
        } else {
            char name[256] = {}, vendor[256] = {}, product[256] = {};
            dispatch(Vst2::effGetEffectName, name);
            dispatch(Vst2::effGetVendorString, vendor);
            dispatch(Vst2::effGetProductString, product);
            record.name = text(name);
            if (record.name.empty())
                record.name = text(product);
            if (record.name.empty())
                record.name = file.substr(0, file.find('.'));
            record.vendor = text(vendor);
        }
        record.ins = effect->numInputs;
        record.outs = effect->numOutputs;
        dispatch(Vst2::effClose, nullptr);
    }
    dlclose(library);
    return effect && !record.name.empty();
}

// --- the store --------------------------------------------------------------

std::string iniValue(const std::string &value)
{
    if (value.find_first_of(";,=\"\\\n") == std::string::npos
        && (value.empty() || (value.front() != ' ' && value.back() != ' ')))
        return value;
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

bool writeStore(const std::string &contents)
{
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string config = xdg && *xdg ? xdg : std::string(std::getenv("HOME")) + "/.config";
    const std::string dir = config + "/Kestrune";
    mkdir(config.c_str(), 0700);
    mkdir(dir.c_str(), 0700);
    const std::string file = dir + "/OmbrelPluginScanner.ini";
    std::string temp = file + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = write(fd, contents.data(), contents.size()) == ssize_t(contents.size()) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), file.c_str()) == 0;
    if (!ok)
        unlink(temp.c_str());
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fputs("no plugin file given to helper process\n", stderr);
        writeStore(std::string());
        return 1;
    }
    const std::string path = argv[1];
    std::fprintf(stderr, "scanning plugin \"%s\"\n", path.c_str());
    Record record;
    if (!probe(path, record)) {
        writeStore(std::string());
        std::fputs("\"Unknown failure state\"\n", stderr);
        return 5;
    }
    std::fprintf(stderr, "\"%s\" \"%s\"\n", path.c_str(), record.name.c_str());
    // clang-format off
    const std::string ini = "[" + groupKey(path) + "]\n"
        + "inchans=" + std::to_string(record.ins) + "\n"
        + "instrument=" + (record.instrument ? "true" : "false") + "\n"
        + "name=" + iniValue(record.name) + "\n"
        + "outchans=" + std::to_string(record.outs) + "\n"
        + "pluginfn=" + iniValue(path) + "\n"
        + "type=VST\n"
        + "vendor=" + iniValue(record.vendor) + "\n";
    // clang-format on
    const bool stored = writeStore(ini);
    std::fputs(stored ? "\"OK\"\n" : "\"Unknown failure state\"\n", stderr);
    return stored ? 0 : 5;
}
