// The library's exports: GetPluginFactory with its factory of one class, described as the
// plug-in describes itself, and the module entry and exit hosts call around it.
#include <cstdio>
#include <cstring>

#include "formats/shared/PluginFacts.h"
#include "formats/vst3/Vst3Plugin.h"
#include "host/FloatingPoint.h"

// The Windows builds export through their module-definition files, which also give 32-bit
// Windows' exports their plain names.
#if defined(_WIN32)
#define MORVO_VST3_EXPORT
#else
#define MORVO_VST3_EXPORT __attribute__((visibility("default")))
#endif

namespace vst3_door {

namespace {

template <std::size_t N> void copyName(char8 (&to)[N], const std::string& from) {
    std::snprintf(to, N, "%s", from.c_str());
}

bool ours(int32 index) {
    return index == 0 && library().described;
}

// The factory lives as long as the library: counting it changes nothing.
struct FactorySlots {
    static tresult MORVO_VST3_CALL queryInterface(void* self, const TUID iid, void** object) {
        if (object == nullptr) return kInvalidArgument;
        *object = nullptr;
        if (iid == nullptr) return kInvalidArgument;
        if (!sameUid(iid, FUnknown_iid) && !sameUid(iid, IPluginFactory_iid) &&
            !sameUid(iid, IPluginFactory2_iid) && !sameUid(iid, IPluginFactory3_iid))
            return kNoInterface;
        *object = self;
        return kResultOk;
    }
    static uint32 MORVO_VST3_CALL addRef(void*) { return 1; }
    static uint32 MORVO_VST3_CALL release(void*) { return 1; }

    static tresult MORVO_VST3_CALL factoryInfo(void*, PFactoryInfo* info) {
        if (info == nullptr) return kInvalidArgument;
        *info = PFactoryInfo{};
        copyName(info->vendor, library().facts.vendor);
        info->flags = PFactoryInfo::kUnicode;
        return kResultOk;
    }
    static int32 MORVO_VST3_CALL countClasses(void*) { return library().described ? 1 : 0; }
    static tresult MORVO_VST3_CALL classInfo(void*, int32 index, PClassInfo* info) {
        if (info == nullptr || !ours(index)) return kInvalidArgument;
        *info = PClassInfo{};
        std::memcpy(info->cid, kClassId.bytes, sizeof info->cid);
        info->cardinality = kManyInstances;
        copyName(info->category, kVstAudioEffectClass);
        copyName(info->name, library().facts.name);
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL createInstance(void*, FIDString cid, FIDString iid,
                                                  void** object) {
        if (object == nullptr) return kInvalidArgument;
        *object = nullptr;
        if (cid == nullptr || iid == nullptr) return kInvalidArgument;
        if (!sameUid(cid, kClassId)) return kNoInterface;
        Vst3Plugin* plugin = Vst3Plugin::create();
        if (plugin == nullptr) return kOutOfMemory;
        const tresult result = plugin->query(iid, object);
        plugin->release(); // the caller's count, when it asked for a face we have
        return result;
    }
    static tresult MORVO_VST3_CALL classInfo2(void*, int32 index, PClassInfo2* info) {
        if (info == nullptr || !ours(index)) return kInvalidArgument;
        const guest::Facts& facts = library().facts;
        *info = PClassInfo2{};
        std::memcpy(info->cid, kClassId.bytes, sizeof info->cid);
        info->cardinality = kManyInstances;
        copyName(info->category, kVstAudioEffectClass);
        copyName(info->name, facts.name);
        copyName(info->subCategories, kSubCategories);
        copyName(info->vendor, facts.vendor);
        copyName(info->version, facts.version);
        copyName(info->sdkVersion, kSdkVersion);
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL classInfoUnicode(void*, int32 index, PClassInfoW* info) {
        if (info == nullptr || !ours(index)) return kInvalidArgument;
        const guest::Facts& facts = library().facts;
        *info = PClassInfoW{};
        std::memcpy(info->cid, kClassId.bytes, sizeof info->cid);
        info->cardinality = kManyInstances;
        copyName(info->category, kVstAudioEffectClass);
        copyText(info->name, std::size(info->name), facts.name);
        copyName(info->subCategories, kSubCategories);
        copyText(info->vendor, std::size(info->vendor), facts.vendor);
        copyText(info->version, std::size(info->version), facts.version);
        copyText(info->sdkVersion, std::size(info->sdkVersion), kSdkVersion);
        return kResultOk;
    }
    // The plug-in asks its host nothing through the context.
    static tresult MORVO_VST3_CALL setHostContext(void*, FUnknown*) { return kResultOk; }

    static constexpr IPluginFactory3Vtbl table{
        {{{queryInterface, addRef, release}, factoryInfo, countClasses, classInfo, createInstance},
         classInfo2},
        classInfoUnicode,
        setHostContext};
};

const IPluginFactory3 kFactory{&FactorySlots::table};

// Hosts load plug-ins on threads whose floating-point state may trap; the plug-in's arithmetic
// must never raise an exception inside the host.
struct LoadTimeSetup {
    LoadTimeSetup() { maskFloatingPointExceptions(); }
} loadTimeSetup;

} // namespace

Library::Library() {
    if (!plugin_facts::describe(kFormat, facts)) return;
    described = true;
}

// Made once, on the first thread that asks; the texts stay until the library is unloaded.
const Library& library() {
    static const Library made;
    return made;
}

} // namespace vst3_door

// The library is described at the factory's first use, where hosts expect a library's work.
extern "C" MORVO_VST3_EXPORT vst3_abi::IPluginFactory3* MORVO_VST3_CALL GetPluginFactory() {
    return const_cast<vst3_abi::IPluginFactory3*>(&vst3_door::kFactory);
}

#if defined(_WIN32)
extern "C" MORVO_VST3_EXPORT bool MORVO_VST3_CALL InitDll() {
    return true;
}
extern "C" MORVO_VST3_EXPORT bool MORVO_VST3_CALL ExitDll() {
    return true;
}
#else
extern "C" MORVO_VST3_EXPORT bool ModuleEntry(void*) {
    return true;
}
extern "C" MORVO_VST3_EXPORT bool ModuleExit() {
    return true;
}
#endif
