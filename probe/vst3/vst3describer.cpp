#include "vst3describer.h"

#include "bundle.h"
#include "classinfo.h"
#include "hostapplication.h"
#include "moduleinfo.h"
#include "vst3abi.h"

#include "contract/outcome.h"

#include <QFileInfo>

#include <cstring>
#include <dlfcn.h>

namespace {

using namespace Vst3;

using Factory = Object<PluginFactoryVtbl>;
using Component = Object<ComponentVtbl>;
using Controller = Object<EditControllerVtbl>;

// Beyond any real module; keeps a lying count from running for hours.
constexpr int32_t kMaxClasses = 100000;
constexpr int32_t kMaxBuses = 256;

// Fields may be filled to the last byte without a terminating NUL.
template <size_t N> QString text8(const char (&field)[N])
{
    return QString::fromUtf8(field, int(qstrnlen(field, N)));
}

template <size_t N> QString text16(const char16 (&field)[N])
{
    size_t length = 0;
    while (length < N && field[length])
        ++length;
    return QString::fromUtf16(field, int(length));
}

template <typename T> T *query(void *object, const Iid &iid)
{
    void *answer = nullptr;
    auto *unknown = static_cast<Object<FUnknownVtbl> *>(object);
    if (unknown->vtbl->queryInterface(unknown, iid.bytes, &answer) != kResultOk)
        return nullptr;
    return static_cast<T *>(answer);
}

void release(void *object)
{
    if (object) {
        auto *unknown = static_cast<Object<FUnknownVtbl> *>(object);
        unknown->vtbl->release(unknown);
    }
}

// The channels of the first main bus and of every bus, and the count of
// buses, of one media type and direction.
struct Buses
{
    std::optional<qint64> mainChannels;
    qint64 allChannels = 0;
    qint64 count = 0;
};

Buses busesOf(Component *component, int32_t type, int32_t direction)
{
    Buses buses;
    const int32_t count = qBound(0, component->vtbl->getBusCount(component, type, direction), kMaxBuses);
    for (int32_t index = 0; index < count; ++index) {
        BusInfo info{};
        if (component->vtbl->getBusInfo(component, type, direction, index, &info) != kResultOk)
            continue;
        ++buses.count;
        const qint64 channels = qMax(0, info.channelCount);
        buses.allChannels += channels;
        if (info.busType == kMain && !buses.mainChannels)
            buses.mainChannels = channels;
    }
    if (!buses.mainChannels)
        buses.mainChannels = 0;
    return buses;
}

class ModuleScan
{
public:
    ModuleScan(Factory *factory, const QString &binary, const QString &bundle)
        : m_factory(factory)
        , m_binary(binary)
        , m_bundle(bundle)
    {
    }

    QList<PluginDescription> describeClasses()
    {
        PFactoryInfo factoryInfo{};
        if (m_factory->vtbl->getFactoryInfo(m_factory, &factoryInfo) == kResultOk)
            m_factoryVendor = text8(factoryInfo.vendor);
        auto *factory3 = query<Factory>(m_factory, kPluginFactory3Iid);
        if (factory3)
            factory3->vtbl->setHostContext(factory3, vst3HostApplication());
        auto *factory2 = factory3 ? nullptr : query<Factory>(m_factory, kPluginFactory2Iid);

        QList<PluginDescription> plugins;
        const int32_t count = qBound(0, m_factory->vtbl->countClasses(m_factory), kMaxClasses);
        for (int32_t index = 0; index < count; ++index) {
            PluginDescription plugin;
            char cid[16] = {};
            if (!classInfo(factory3, factory2, index, &plugin, cid))
                continue;
            describeComponent(cid, &plugin);
            plugins << plugin;
        }
        release(factory2);
        release(factory3);
        return plugins;
    }

private:
    Factory *m_factory;
    QString m_binary;
    QString m_bundle;
    QString m_factoryVendor;

    // The richest record the factory offers; false for a class that is no
    // audio module or that the factory would not describe.
    bool classInfo(Factory *factory3, Factory *factory2, int32_t index, PluginDescription *plugin, char *cid)
    {
        QString category;
        PClassInfoW unicode{};
        PClassInfo2 info2{};
        PClassInfo info1{};
        if (factory3 && factory3->vtbl->getClassInfoUnicode(factory3, index, &unicode) == kResultOk) {
            std::memcpy(cid, unicode.cid, 16);
            category = text8(unicode.category);
            plugin->name = text16(unicode.name);
            plugin->vendor = text16(unicode.vendor);
            plugin->version = text16(unicode.version);
            plugin->category = text8(unicode.subCategories);
        } else if ((factory2 || factory3)
                   && (factory2 ? factory2 : factory3)
                           ->vtbl->getClassInfo2(factory2 ? factory2 : factory3, index, &info2)
                       == kResultOk) {
            std::memcpy(cid, info2.cid, 16);
            category = text8(info2.category);
            plugin->name = text8(info2.name);
            plugin->vendor = text8(info2.vendor);
            plugin->version = text8(info2.version);
            plugin->category = text8(info2.subCategories);
        } else if (m_factory->vtbl->getClassInfo(m_factory, index, &info1) == kResultOk) {
            std::memcpy(cid, info1.cid, 16);
            category = text8(info1.category);
            plugin->name = text8(info1.name);
        } else {
            return false;
        }
        if (category != QLatin1String(kAudioModuleClass))
            return false;
        plugin->format = QStringLiteral("vst3");
        plugin->id = vst3ClassId(cid);
        if (plugin->vendor.isEmpty())
            plugin->vendor = m_factoryVendor;
        plugin->kind = vst3Kind(plugin->category);
        plugin->file = m_binary;
        plugin->bundle = m_bundle;
        plugin->index = index;
        return true;
    }

    void describeComponent(const char *cid, PluginDescription *plugin)
    {
        void *object = nullptr;
        if (m_factory->vtbl->createInstance(m_factory, cid, kComponentIid.bytes, &object) != kResultOk || !object)
            return;
        auto *component = static_cast<Component *>(object);
        // A component that failed to initialize is released, never terminated.
        if (component->vtbl->initialize(component, vst3HostApplication()) != kResultOk) {
            release(component);
            return;
        }
        const Buses audioIn = busesOf(component, kAudio, kInput);
        const Buses audioOut = busesOf(component, kAudio, kOutput);
        plugin->audioInputs = audioIn.mainChannels;
        plugin->audioOutputs = audioOut.mainChannels;
        plugin->audioInputsAll = audioIn.allChannels;
        plugin->audioOutputsAll = audioOut.allChannels;
        plugin->midiInputs = busesOf(component, kEvent, kInput).count;
        plugin->midiOutputs = busesOf(component, kEvent, kOutput).count;
        plugin->parameters = parameterCount(component);
        component->vtbl->terminate(component);
        release(component);
    }

    // From the controller class the component names, else from the
    // component itself when it is its own controller.
    std::optional<qint64> parameterCount(Component *component)
    {
        char controllerId[16] = {};
        const char none[16] = {};
        void *object = nullptr;
        if (component->vtbl->getControllerClassId(component, controllerId) == kResultOk
            && std::memcmp(controllerId, none, sizeof none) != 0
            && m_factory->vtbl->createInstance(m_factory, controllerId, kEditControllerIid.bytes, &object) == kResultOk
            && object) {
            auto *controller = static_cast<Controller *>(object);
            std::optional<qint64> count;
            if (controller->vtbl->initialize(controller, vst3HostApplication()) == kResultOk) {
                count = qMax(0, controller->vtbl->getParameterCount(controller));
                controller->vtbl->terminate(controller);
            }
            release(controller);
            return count;
        }
        if (auto *controller = query<Controller>(component, kEditControllerIid)) {
            const qint64 count = qMax(0, controller->vtbl->getParameterCount(controller));
            release(controller);
            return count;
        }
        return std::nullopt;
    }
};

// The classes moduleinfo.json lists, for a binary that could not be asked.
int describeFromModuleInfo(const ModuleInfo &info, const QString &binary, const QString &bundle, const QString &why,
                           FileDescription *description)
{
    for (PluginDescription plugin : info.plugins) {
        plugin.file = binary;
        plugin.bundle = bundle;
        description->plugins << plugin;
    }
    description->note = QStringLiteral("the binary did not load (%1): named from %2").arg(why, info.file);
    return OutcomeOk;
}

QString loaderError()
{
    const char *error = dlerror();
    return error ? QString::fromLocal8Bit(error) : QStringLiteral("unknown loader error");
}

} // namespace

int describeVst3(const QString &path, FileDescription *description)
{
    const QFileInfo bundleInfo(path);
    if (!bundleInfo.exists())
        return OutcomeNotFound;
    if (!bundleInfo.isDir()) {
        description->cause = QStringLiteral("not a bundle: a VST 3 plug-in is a folder");
        return OutcomeNoName;
    }
    const QString bundle = bundleInfo.absoluteFilePath();
    ModuleInfo moduleInfo;
    QString moduleInfoError;
    const bool haveModuleInfo = readModuleInfo(bundle, &moduleInfo, &moduleInfoError);

    const QString binary = vst3BinaryIn(bundle);
    if (binary.isEmpty()) {
        const QString why = QStringLiteral("no binary for %1 in the bundle")
                                .arg(vst3ArchitectureFolders().value(0, QStringLiteral("this processor")));
        if (haveModuleInfo)
            return describeFromModuleInfo(moduleInfo, QString(), bundle, why, description);
        description->cause = why;
        return OutcomeNoName;
    }

    void *handle = dlopen(QFile::encodeName(binary).constData(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle) {
        const QString why = loaderError();
        if (haveModuleInfo)
            return describeFromModuleInfo(moduleInfo, binary, bundle, why, description);
        description->cause = QStringLiteral("not loadable: %1").arg(why);
        if (!moduleInfoError.isEmpty())
            description->cause += QStringLiteral("; moduleinfo.json unusable: %1").arg(moduleInfoError);
        return OutcomeNoName;
    }

    const auto entry = reinterpret_cast<ModuleEntryProc>(dlsym(handle, "ModuleEntry"));
    const auto moduleExit = reinterpret_cast<ModuleExitProc>(dlsym(handle, "ModuleExit"));
    const auto getFactory = reinterpret_cast<GetPluginFactoryProc>(dlsym(handle, "GetPluginFactory"));
    int outcome = OutcomeOk;
    if (!entry || !moduleExit || !getFactory) {
        description->cause = QStringLiteral("no VST 3 entry point (%1 missing)")
                                 .arg(QLatin1String(!getFactory  ? "GetPluginFactory"
                                                        : !entry ? "ModuleEntry"
                                                                 : "ModuleExit"));
        outcome = OutcomeNoName;
    } else {
        if (!entry(handle)) {
            description->cause = QStringLiteral("ModuleEntry refused to start the module");
            outcome = OutcomeNoName;
        } else if (Factory *factory = getFactory()) {
            description->plugins = ModuleScan(factory, binary, bundle).describeClasses();
            release(factory);
        } else {
            description->cause = QStringLiteral("GetPluginFactory returned no factory");
            outcome = OutcomeNoName;
        }
        // Paired with ModuleEntry even when it refused, as hosts do.
        moduleExit();
    }
    dlclose(handle);
    return outcome;
}
