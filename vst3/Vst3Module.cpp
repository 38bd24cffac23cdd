// The module's exports and its factory: the one class, Halvorine, an audio
// effect. Nothing else leaves the library (see exports.map and
// Halvorine.def).
#include <atomic>
#include <cstring>
#include <new>

#include "ClassInfo.h"
#include "FloatingPointGuard.h"
#include "HalvorineVst3.h"
#include "abi/Factory.h"

namespace vst3edition {

using namespace vst3abi;

namespace {

void CopyText(char* out, const char* text, size_t size) {
    std::strncpy(out, text, size - 1);
    out[size - 1] = '\0';
}

void CopyUtf16(char16* out, const char* text, size_t size) {
    size_t i = 0;
    for (; text[i] != '\0' && i + 1 < size; ++i)
        out[i] = static_cast<char16>(static_cast<unsigned char>(text[i]));
    out[i] = 0;
}

// One factory for the life of the library: hosts count references on it,
// but it is never freed.
class Factory final : public IPluginFactory3 {
public:
    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr)
            return kInvalidArgument;
        if (FUnknown::iid.matches(iid) || IPluginFactory::iid.matches(iid) || IPluginFactory2::iid.matches(iid) ||
            IPluginFactory3::iid.matches(iid)) {
            *obj = this;
            addRef();
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32_t VST3_CALL addRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32_t VST3_CALL release() override {
        const uint32_t left = refs_.fetch_sub(1, std::memory_order_relaxed) - 1;
        return left == 0 ? 1 : left;  // static: never goes
    }

    tresult VST3_CALL getFactoryInfo(PFactoryInfo* info) override {
        if (info == nullptr)
            return kInvalidArgument;
        std::memset(info, 0, sizeof *info);
        CopyText(info->vendor, HALVORINE_VST3_VENDOR, sizeof info->vendor);
        CopyText(info->url, HALVORINE_VST3_URL, sizeof info->url);
        CopyText(info->email, HALVORINE_VST3_EMAIL, sizeof info->email);
        info->flags = PFactoryInfo::kUnicode;
        return kResultOk;
    }

    int32_t VST3_CALL countClasses() override { return 1; }

    tresult VST3_CALL getClassInfo(int32_t index, PClassInfo* info) override {
        if (index != 0 || info == nullptr)
            return kInvalidArgument;
        std::memset(info, 0, sizeof *info);
        kClassId.copyTo(info->cid);
        info->cardinality = kManyInstances;
        CopyText(info->category, HALVORINE_VST3_CATEGORY, sizeof info->category);
        CopyText(info->name, HALVORINE_VST3_NAME, sizeof info->name);
        return kResultOk;
    }

    tresult VST3_CALL createInstance(FIDString cid, FIDString iid, void** obj) override {
        fpenv::FloatingPointGuard guard;
        if (obj == nullptr)
            return kInvalidArgument;
        *obj = nullptr;
        if (!kClassId.matches(cid))
            return kNoInterface;
        auto* plugin = new (std::nothrow) HalvorineVst3();
        if (plugin == nullptr)
            return kOutOfMemory;
        const tresult result = plugin->queryInterface(iid, obj);
        plugin->release();  // the object lives on the reference the host asked for, if any
        return result;
    }

    tresult VST3_CALL getClassInfo2(int32_t index, PClassInfo2* info) override {
        if (index != 0 || info == nullptr)
            return kInvalidArgument;
        std::memset(info, 0, sizeof *info);
        kClassId.copyTo(info->cid);
        info->cardinality = kManyInstances;
        CopyText(info->category, HALVORINE_VST3_CATEGORY, sizeof info->category);
        CopyText(info->name, HALVORINE_VST3_NAME, sizeof info->name);
        info->classFlags = 0;
        CopyText(info->subCategories, HALVORINE_VST3_SUBCATEGORIES, sizeof info->subCategories);
        CopyText(info->vendor, HALVORINE_VST3_VENDOR, sizeof info->vendor);
        CopyText(info->version, HALVORINE_VST3_VERSION, sizeof info->version);
        CopyText(info->sdkVersion, HALVORINE_VST3_SDK_VERSION, sizeof info->sdkVersion);
        return kResultOk;
    }

    tresult VST3_CALL getClassInfoUnicode(int32_t index, PClassInfoW* info) override {
        if (index != 0 || info == nullptr)
            return kInvalidArgument;
        std::memset(info, 0, sizeof *info);
        kClassId.copyTo(info->cid);
        info->cardinality = kManyInstances;
        CopyText(info->category, HALVORINE_VST3_CATEGORY, sizeof info->category);
        CopyUtf16(info->name, HALVORINE_VST3_NAME, 64);
        info->classFlags = 0;
        CopyText(info->subCategories, HALVORINE_VST3_SUBCATEGORIES, sizeof info->subCategories);
        CopyUtf16(info->vendor, HALVORINE_VST3_VENDOR, 64);
        CopyUtf16(info->version, HALVORINE_VST3_VERSION, 64);
        CopyUtf16(info->sdkVersion, HALVORINE_VST3_SDK_VERSION, 64);
        return kResultOk;
    }

    // The host's context is not needed before an instance exists.
    tresult VST3_CALL setHostContext(FUnknown*) override { return kResultOk; }

private:
    std::atomic<uint32_t> refs_{1};
};

Factory gFactory;

}  // namespace

}  // namespace vst3edition

// Windows: Halvorine.def names the exports, undecorated.
#if defined(_WIN32)
#define HALVORINE_VST3_EXPORT extern "C"
#else
#define HALVORINE_VST3_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// The host releases what it gets: the factory gains a reference each time.
HALVORINE_VST3_EXPORT vst3abi::IPluginFactory* VST3_CALL GetPluginFactory() {
    vst3edition::gFactory.addRef();
    return &vst3edition::gFactory;
}

// Called once after loading and once before unloading; the module has
// nothing to set up, so both only answer that all is well.
#if defined(_WIN32)
HALVORINE_VST3_EXPORT bool InitDll() { return true; }
HALVORINE_VST3_EXPORT bool ExitDll() { return true; }
#else
HALVORINE_VST3_EXPORT bool ModuleEntry(void*) { return true; }
HALVORINE_VST3_EXPORT bool ModuleExit() { return true; }
#endif
