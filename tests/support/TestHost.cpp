#include "TestHost.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "HostFloatingPoint.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace testhost {
namespace {

Host* g_current = nullptr;
std::string g_path;

std::string directoryOfExecutable() {
#if defined(_WIN32)
    char buffer[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer);
    return path.substr(0, path.find_last_of("\\/") + 1);
#else
    char buffer[4096] = {};
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string path(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.find_last_of('/') + 1);
#endif
}

}  // namespace

namespace {
std::vector<std::string> g_commandLine;
}

namespace {
void FailTheRunningTest(const char* call, long detail, hostfp::State want, hostfp::State got) {
    ADD_FAILURE() << std::hex << std::showbase << call << " (" << std::dec << detail << std::hex
                  << ") left MXCSR " << got.mxcsr << " and x87 control word " << got.x87 << "; the host had "
                  << want.mxcsr << " and " << want.x87;
}
}  // namespace

void UnmaskExceptionsAroundCalls() { hostfp::Enable(&FailTheRunningTest); }

void SetCommandLine(int argc, char** argv) { g_commandLine.assign(argv, argv + argc); }
const std::vector<std::string>& CommandLine() { return g_commandLine; }

void Module::setPath(const std::string& path) { g_path = path; }

Module& Module::instance() {
    static Module module;
    return module;
}

Module::Module() {
    path_ = g_path.empty() ? directoryOfExecutable() + HALVORINE_MODULE_NAME : g_path;
#if defined(_WIN32)
    HMODULE h = LoadLibraryA(path_.c_str());
    if (h == nullptr) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", path_.c_str(), GetLastError());
        std::exit(2);
    }
    handle_ = h;
    vstPluginMain_ = reinterpret_cast<EntryProc>(reinterpret_cast<void*>(GetProcAddress(h, "VSTPluginMain")));
    main_ = reinterpret_cast<EntryProc>(reinterpret_cast<void*>(GetProcAddress(h, "main")));
#else
    handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path_.c_str(), dlerror());
        std::exit(2);
    }
    vstPluginMain_ = reinterpret_cast<EntryProc>(dlsym(handle_, "VSTPluginMain"));
    main_ = reinterpret_cast<EntryProc>(dlsym(handle_, "main"));
#endif
}

Host::Host() : previous_(g_current) {
    answer = [](const Callback& c) -> VstIntPtr { return c.opcode == audioMasterVersion ? 2400 : 0; };
    g_current = this;
}

Host::~Host() { g_current = previous_; }

AEffect* Host::create(bool throughMain) {
    Module& m = Module::instance();
    Module::EntryProc entry = throughMain ? m.main() : m.vstPluginMain();
    if (entry == nullptr)
        return nullptr;
    AEffect* e = nullptr;
    {
        hostfp::UnmaskedCall call(throughMain ? "main" : "VSTPluginMain");
        e = entry(&Host::audioMaster);
    }
    hostfp::Wrap(e);
    return e;
}

std::vector<VstInt32> Host::opcodes() const {
    std::vector<VstInt32> result;
    for (const auto& c : calls)
        result.push_back(c.opcode);
    return result;
}

size_t Host::count(VstInt32 opcode) const {
    size_t n = 0;
    for (const auto& c : calls)
        n += c.opcode == opcode ? 1 : 0;
    return n;
}

VstIntPtr VSTCALLBACK Host::audioMaster(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                        void* ptr, float opt) {
    Host* host = g_current;
    if (host == nullptr)
        return opcode == audioMasterVersion ? 2400 : 0;
    Callback c{effect, opcode, index, value, ptr, opt};
    host->calls.push_back(c);
    return host->answer ? host->answer(c) : 0;
}

VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

std::string textRequest(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value) {
    char buffer[512];
    std::memset(buffer, 0, sizeof buffer);
    e->dispatcher(e, opcode, index, value, buffer, 0.0f);
    return std::string(buffer);
}

GuardedStereo::GuardedStereo(int frames, float fill) : frames_(frames) {
    for (int c = 0; c < 2; ++c) {
        storage_[c].assign(static_cast<size_t>(frames + 2 * kGuard), kGuardValue);
        for (int i = 0; i < frames; ++i)
            storage_[c][static_cast<size_t>(kGuard + i)] = fill;
        pointers_[c] = storage_[c].data() + kGuard;
    }
}

bool GuardedStereo::guardsIntact() const {
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kGuard; ++i)
            if (storage_[c][static_cast<size_t>(i)] != kGuardValue ||
                storage_[c][static_cast<size_t>(kGuard + frames_ + i)] != kGuardValue)
                return false;
    return true;
}

}  // namespace testhost
