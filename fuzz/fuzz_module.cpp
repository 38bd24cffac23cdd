// Fuzz target: the built module, driven only as a host drives it, through
// its entry function and the effect record.
//
// A script of fuzzer bytes (see FuzzInput.h) builds an instance and sends
// it requests with any opcode, index, value and opt, and a pointer that is
// null, a guarded buffer or a proper record; parameters with any float;
// both processing calls with 0 to 4096 frames of extreme samples; rate and
// program changes; editor requests. Besides the sanitizers it checks that
// - nothing is written past what the interface lets the plug-in write into
//   a host buffer (33 bytes for parameter texts, 25 for program names, the
//   record's size for records), and texts written there are terminated;
// - every output sample is finite and within -1..1 (process: what it adds),
//   nothing is written outside the frames asked for, and inputs are left
//   alone unless they are the outputs;
// - the effect record keeps its shape, parameters read back within 0..1,
//   and the current program stays one of the eight;
// - in a host that runs with invalid operation, division by zero and
//   overflow unmasked (an instance whose first script byte has its top bit
//   set, or every instance with HALVORINE_FUZZ_UNMASKED=1): no call traps,
//   and each gives the thread back exactly the floating-point state it had
//   (tests/support/HostFloatingPoint.h).
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "DAEffectX.h"
#include "FuzzInput.h"
#include "HostFloatingPoint.h"
#include "TestSignal.h"

namespace {

using testsignal::Lcg;  // deterministic noise: a few script bytes describe a whole block
using fuzzinput::Reader;
using EntryProc = AEffect*(VSTCALLBACK*)(audioMasterCallback);

EntryProc g_entries[2] = {};  // VSTPluginMain, main
bool g_alwaysUnmasked = false;  // HALVORINE_FUZZ_UNMASKED=1

[[noreturn]] void Fail(const char* format, ...) {
    std::fprintf(stderr, "fuzz_module: ");
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\n");
    std::abort();
}

#define CHECK(condition, ...)   \
    do {                        \
        if (!(condition))       \
            Fail(__VA_ARGS__);  \
    } while (0)

// ---------------------------------------------------------------------------
// The host

struct HostState {
    VstIntPtr version = 2400;
    VstIntPtr rateAnswer = 0;
    bool sendRateWhileAnswering = false;
    float rateSent = 0.0f;
    // After `main` has returned: a program change may send requests back
    // into the plug-in from inside its time-information callback.
    bool live = false;
    bool reenterOnTime = false;
    VstIntPtr reenterProgram = 0;
    int depth = 0;
};
HostState g_host;

VstIntPtr VSTCALLBACK AudioMaster(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    switch (opcode) {
    case audioMasterVersion:
        return g_host.version;
    case audioMasterGetSampleRate:
        if (e != nullptr && g_host.sendRateWhileAnswering)
            e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, g_host.rateSent);
        return g_host.rateAnswer;
    case audioMasterAutomate:
        CHECK(index >= 0 && index < 30, "automation of parameter %d", static_cast<int>(index));
        CHECK(opt >= 0.0f && opt <= 1.0f, "automation with value %g", static_cast<double>(opt));
        return 0;
    case audioMasterGetTime:
        if (g_host.live && g_host.reenterOnTime && g_host.depth == 0 && e != nullptr) {
            ++g_host.depth;
            e->dispatcher(e, effSetProgram, 0, g_host.reenterProgram, nullptr, 0.0f);
            e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
            --g_host.depth;
        }
        return 0;
    default:
        return 0;
    }
}

void CheckRecord(const AEffect* e) {
    CHECK(e->magic == kEffectMagic, "record magic changed");
    CHECK(e->dispatcher != nullptr && e->process != nullptr && e->processReplacing != nullptr &&
              e->setParameter != nullptr && e->getParameter != nullptr,
          "an entry function went missing");
    CHECK(e->numPrograms == 8 && e->numParams == 30 && e->numInputs == 2 && e->numOutputs == 2,
          "record counts changed");
    CHECK(e->object != nullptr, "record lost its object");
    CHECK((e->flags & effFlagsCanReplacing) != 0 && (e->flags & effFlagsHasEditor) != 0, "record flags changed");
}

void CheckState(AEffect* e) {
    CheckRecord(e);
    const VstIntPtr program = e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0.0f);
    CHECK(program >= 0 && program < 8, "current program %lld", static_cast<long long>(program));
}

// ---------------------------------------------------------------------------
// Host buffers

// How many bytes, from the start, the interface lets the plug-in write
// into the buffer of a request; 0 where it writes nothing.
size_t WriteLimit(VstInt32 opcode) {
    switch (opcode) {
    case effGetProgramName:
    case effGetProgramNameIndexed:
        return kVstMaxProgNameLen + 1;  // 25
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
        return 33;
    case effEditGetRect:
        return sizeof(ERect*);
    case effGetChunk:
        return sizeof(void*);
    case effGetInputProperties:
    case effGetOutputProperties:
        return sizeof(VstPinProperties);
    case effGetEffectName:
        return kVstMaxEffectNameLen + 1;
    case effGetErrorText:
        return 257;
    case effGetVendorString:
        return kVstMaxVendorStrLen + 1;
    case effGetProductString:
        return kVstMaxProductStrLen + 1;
    default:
        return 0;
    }
}

bool WritesText(VstInt32 opcode) {
    switch (opcode) {
    case effGetProgramName:
    case effGetProgramNameIndexed:
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
    case effGetEffectName:
    case effGetErrorText:
    case effGetVendorString:
    case effGetProductString:
        return true;
    default:
        return false;
    }
}

bool ReadsText(VstInt32 opcode) {
    return opcode == effSetProgramName || opcode == effString2Parameter || opcode == effCanDo;
}

// A host buffer: exactly `capacity` bytes on the heap (so that the address
// sanitizer sees any access past it), filled with a pattern or a text.
// check() finds any byte changed at or beyond `limit`.
class GuardedBuffer {
public:
    GuardedBuffer(size_t requested, size_t limit, Reader& in, bool text)
        : capacity_(std::max(requested, limit) + 16), limit_(limit), bytes_(new uint8_t[capacity_]),
          before_(new uint8_t[capacity_]) {
        const uint8_t fill = static_cast<uint8_t>(0xA5 ^ in.u8());
        std::memset(bytes_.get(), fill, capacity_);
        if (text) {
            // A terminated text of any bytes: as long as it fits, or longer
            // than any buffer the plug-in has.
            const size_t length = std::min<size_t>(in.u16() % 300, capacity_ - 1);
            Lcg rng(in.u32());
            for (size_t i = 0; i < length; ++i)
                bytes_[i] = static_cast<uint8_t>(1 + rng.next() % 255);
            bytes_[length] = 0;
        }
        std::memcpy(before_.get(), bytes_.get(), capacity_);
    }
    void* get() { return bytes_.get(); }

    void check(VstInt32 opcode, bool text) const {
        for (size_t i = limit_; i < capacity_; ++i)
            CHECK(bytes_[i] == before_[i], "request %d wrote byte %zu of its buffer; it may write %zu",
                  static_cast<int>(opcode), i, limit_);
        if (!text || std::memcmp(bytes_.get(), before_.get(), limit_) == 0)
            return;
        CHECK(std::memchr(bytes_.get(), 0, limit_) != nullptr, "request %d wrote a text without its terminator",
              static_cast<int>(opcode));
    }

private:
    size_t capacity_, limit_;
    std::unique_ptr<uint8_t[]> bytes_, before_;
};

// ---------------------------------------------------------------------------
// Actions

AEffect* Create(Reader& in) {
    g_host = HostState{};
    const uint8_t host = in.u8();
    g_host.version = host == 0xFF ? 0 : 2400;
    // The host's floating-point settings, for this instance's calls.
    if (g_alwaysUnmasked || (host & 0x80) != 0)
        hostfp::Enable();
    else
        hostfp::Disable();
    static const VstIntPtr kRateAnswers[] = {0, 44100, 48000, 8000, 768000, 1, -48000, 7999, 768001, 96000,
                                             11025, 1000000000, 22050, 192000};
    const uint8_t pick = in.u8();
    g_host.rateAnswer = pick < sizeof kRateAnswers / sizeof kRateAnswers[0] ? kRateAnswers[pick] : in.anyIntPtr();
    g_host.sendRateWhileAnswering = in.u8() < 32;
    g_host.rateSent = in.anyFloat();
    AEffect* e = nullptr;
    {
        hostfp::UnmaskedCall call("main");
        e = g_entries[in.u8() & 1](&AudioMaster);
    }
    hostfp::Wrap(e);  // every call through the record as this host makes it
    if (g_host.version == 0) {
        CHECK(e == nullptr, "an instance for a host that answered no version");
        return nullptr;
    }
    CHECK(e != nullptr, "main built no instance");
    CheckState(e);
    g_host.live = true;
    return e;
}

void Close(AEffect*& e) {
    g_host.live = false;
    CHECK(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f) == 1, "effClose did not answer 1");
    e = nullptr;
}

VstInt32 AnyOpcode(Reader& in) {
    const uint8_t pick = in.u8();
    if (pick < 240)
        return pick % 72;  // every request, and a few past the last
    return static_cast<VstInt32>(in.u32());
}

void Request(AEffect*& e, Reader& in, VstInt32 opcode) {
    if (opcode == effClose) {
        Close(e);
        return;
    }
    const VstInt32 index = in.anyInt32();
    VstIntPtr value = in.anyIntPtr();
    const float opt = in.anyFloat();
    const uint8_t mode = in.u8() % 4;
    const bool text = ReadsText(opcode);
    std::unique_ptr<GuardedBuffer> buffer;
    std::unique_ptr<GuardedBuffer> arrangement;
    void* ptr = nullptr;

    // Proper records where the request has one.
    VstEvent events[2]{};
    VstEvents list{};
    if (mode == 2 && opcode == effProcessEvents) {
        list.numEvents = in.u8() % 3;
        for (int i = 0; i < 2; ++i) {
            events[i].type = in.anyInt32();
            events[i].byteSize = sizeof(VstEvent);
            events[i].deltaFrames = in.anyInt32();
            list.events[i] = &events[i];
        }
        ptr = &list;
    } else if (mode == 3 && opcode == effEditOpen) {
        // A window handle the host made up: the plug-in never reads it.
        ptr = reinterpret_cast<void*>(static_cast<uintptr_t>(in.u64() | 1));
    } else if (mode != 0) {
        const size_t requested = mode == 2 ? WriteLimit(opcode) : in.u16() % 600;
        buffer = std::make_unique<GuardedBuffer>(requested, WriteLimit(opcode), in, text);
        ptr = buffer->get();
    }
    if (opcode == effSetSpeakerArrangement) {
        // `value` is the input arrangement's address: a record or null.
        value = 0;
        if (in.flag()) {
            arrangement = std::make_unique<GuardedBuffer>(in.u16() % 200, 0, in, false);
            value = reinterpret_cast<VstIntPtr>(arrangement->get());
        }
    }

    const VstIntPtr answer = e->dispatcher(e, opcode, index, value, ptr, opt);

    if (buffer != nullptr)
        buffer->check(opcode, WritesText(opcode));
    if (arrangement != nullptr)
        arrangement->check(opcode, false);
    if (opcode == effEditGetRect && answer != 0 && buffer != nullptr) {
        ERect* rect = nullptr;
        std::memcpy(&rect, buffer->get(), sizeof rect);
        CHECK(rect != nullptr && rect->right > rect->left && rect->bottom > rect->top, "effEditGetRect rectangle");
    }
    if (opcode == effIdentify)
        CHECK(answer == 0x4E764566, "effIdentify answered %lld", static_cast<long long>(answer));
    if (opcode == effCanDo)
        CHECK(answer == 1 || answer == -1, "effCanDo answered %lld", static_cast<long long>(answer));
    CheckState(e);
}

void Parameter(AEffect* e, Reader& in) {
    const VstInt32 index = in.flag() ? static_cast<VstInt32>(in.u8() % 36) - 2 : in.anyInt32();
    const float value = in.anyFloat();
    e->setParameter(e, index, value);
    const float back = e->getParameter(e, index);
    if (index >= 0 && index < 30) {
        CHECK(back >= 0.0f && back <= 1.0f, "parameter %d reads back %g", static_cast<int>(index),
              static_cast<double>(back));
        // The unmasked host's thread treats denormals as zero: to it, and
        // so to the plug-in's clamp there, a denormal value is 0.
        const bool zeroToHost = hostfp::Enabled() && std::fabs(value) < std::numeric_limits<float>::min();
        if (value >= 0.0f && value <= 1.0f)
            CHECK(back == (zeroToHost ? 0.0f : value), "parameter %d set to %g reads back %g",
                  static_cast<int>(index), static_cast<double>(value), static_cast<double>(back));
    } else {
        CHECK(back == 0.0f, "parameter %d outside the range reads back %g", static_cast<int>(index),
              static_cast<double>(back));
    }
    CheckState(e);
}

// Fills a channel with one of the signals that stress the filters.
void FillSignal(float* out, int frames, uint8_t kind, uint32_t seed) {
    Lcg rng(seed);
    const float big = std::numeric_limits<float>::max();
    static const float kScales[] = {1e-30f, 1e-6f, 0.5f, 1.0f, 1e10f, 1e30f, 3e38f};
    const float scale = kScales[(kind >> 4) % 7];
    for (int n = 0; n < frames; ++n) {
        switch (kind % 8) {
        case 0:
            out[n] = 0.0f;
            break;
        case 1:
            out[n] = scale * rng.uniform();
            break;
        case 2: {  // any bit pattern, NaN and infinities included
            const uint32_t bits = rng.next();
            std::memcpy(&out[n], &bits, sizeof bits);
            break;
        }
        case 3:  // the largest finite samples, alternating: the worst case for a band-pass
            out[n] = (n & 1) ? -big : big;
            break;
        case 4: {  // denormals
            const uint32_t bits = rng.next() & 0x807FFFFFu;
            std::memcpy(&out[n], &bits, sizeof bits);
            break;
        }
        case 5:  // a square wave whose period follows the seed
            out[n] = ((n / (1 + static_cast<int>(seed % 97))) & 1) ? scale : -scale;
            break;
        case 6:  // bursts of full-range noise
            out[n] = (n % 512) < 64 ? big * rng.uniform() : 0.0f;
            break;
        default:
            out[n] = scale;
            break;
        }
    }
}

class Channel {
public:
    explicit Channel(int frames) : size_(static_cast<size_t>(std::max(frames, 0)) + 16), data_(new float[size_]) {
        const uint32_t guard = 0x7FC0DEADu;  // a NaN no processing writes
        for (size_t i = 0; i < size_; ++i)
            std::memcpy(&data_[i], &guard, sizeof guard);
    }
    float* get() { return data_.get(); }
    std::vector<float> copy() const { return std::vector<float>(data_.get(), data_.get() + size_); }
    bool same(const std::vector<float>& other) const {
        return std::memcmp(data_.get(), other.data(), size_ * sizeof(float)) == 0;
    }

private:
    size_t size_;
    std::unique_ptr<float[]> data_;
};

void Process(AEffect* e, Reader& in, bool replacing, int& framesLeft) {
    int frames;
    const uint8_t pick = in.u8();
    if (pick < 240) {
        frames = in.u16() % 4097;
    } else {
        static const int kSpecial[] = {-1, std::numeric_limits<int>::min(), 0, 1, 63, 64, 65, 4096};
        frames = kSpecial[pick % 8];
    }
    frames = std::min(frames, framesLeft);
    framesLeft -= std::max(frames, 0);
    const uint8_t kindL = in.u8(), kindR = in.u8();
    const uint32_t seed = in.u32();
    const bool inPlace = in.u8() < 64;
    const uint8_t nulls = in.u8();
    const float before = in.flag() ? 0.0f : in.anyFloat();

    Channel inL(frames), inR(frames), outL(frames), outR(frames);
    if (frames > 0) {
        FillSignal(inL.get(), frames, kindL, seed);
        FillSignal(inR.get(), frames, kindR, seed ^ 0x9E3779B9u);
        for (int spikes = in.u8() % 8; spikes > 0; --spikes) {
            const int at = in.u16() % frames;
            const bool left = in.flag();
            (left ? inL : inR).get()[at] = in.anyFloat();
        }
    }
    // Outputs for `process` start from a value within -1..1.
    const float start = std::isfinite(before) && std::fabs(before) <= 1.0f ? before : 0.0f;
    for (int n = 0; n < frames; ++n)
        outL.get()[n] = outR.get()[n] = start;
    Channel& writeL = inPlace ? inL : outL;
    Channel& writeR = inPlace ? inR : outR;
    const std::vector<float> inLBefore = inL.copy(), inRBefore = inR.copy();
    const std::vector<float> outLBefore = writeL.copy(), outRBefore = writeR.copy();

    float* inputs[2] = {inL.get(), inR.get()};
    float* outputs[2] = {writeL.get(), writeR.get()};
    float** inputArg = inputs;
    float** outputArg = outputs;
    // Now and then a host passes what no host should: no arrays, no channel.
    const bool missing = nulls < 8;
    if (missing) {
        if (nulls & 1)
            inputArg = nullptr;
        else if (nulls & 2)
            outputArg = nullptr;
        else
            outputs[1] = nullptr;
    }
    if (replacing)
        e->processReplacing(e, inputArg, outputArg, frames);
    else
        e->process(e, inputArg, outputArg, frames);

    if (frames <= 0 || missing) {
        CHECK(inL.same(inLBefore) && inR.same(inRBefore) && writeL.same(outLBefore) && writeR.same(outRBefore),
              "a block of %d frames (or without buffers) changed a buffer", frames);
    } else {
        const float* w[2] = {writeL.get(), writeR.get()};
        const std::vector<float>* was[2] = {&outLBefore, &outRBefore};
        for (int ch = 0; ch < 2; ++ch) {
            for (int n = 0; n < frames; ++n) {
                const float out = w[ch][n];
                // `process` adds to what the buffer held: in place, that is
                // the input sample, which may be anything.
                const float base = replacing ? 0.0f : (*was[ch])[static_cast<size_t>(n)];
                if (!std::isfinite(base))
                    continue;
                CHECK(std::isfinite(out) || std::fabs(base) > 3e38f, "channel %d frame %d of %d is %g", ch, n, frames,
                      static_cast<double>(out));
                // What process adds, rounded once with what was there.
                const double slack = replacing ? 0.0 : 2.5e-7 + std::fabs(static_cast<double>(base)) * 1.2e-7;
                CHECK(std::fabs(static_cast<double>(out) - base) <= 1.0 + slack,
                      "channel %d frame %d of %d is %g (started at %g)", ch, n, frames, static_cast<double>(out),
                      static_cast<double>(base));
            }
            // Nothing past the block.
            const std::vector<float>& original = *was[ch];
            for (size_t i = static_cast<size_t>(frames); i < original.size(); ++i)
                CHECK(std::memcmp(&w[ch][i], &original[i], sizeof(float)) == 0,
                      "channel %d written past the block at %zu", ch, i);
        }
        if (!inPlace)
            CHECK(inL.same(inLBefore) && inR.same(inRBefore), "the inputs were written");
    }
    CheckState(e);
}

void Editor(AEffect* e, Reader& in) {
    switch (in.u8() % 7) {
    case 0:
        e->dispatcher(e, effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(in.u32() | 1)), 0.0f);
        break;
    case 1:
        e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
        break;
    case 2:
        e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
        break;
    case 3: {
        ERect* rect = nullptr;
        CHECK(e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0.0f) == 1 && rect != nullptr, "effEditGetRect");
        CHECK(rect->right > rect->left && rect->bottom > rect->top, "effEditGetRect rectangle");
        break;
    }
    case 4: {
        const VstInt32 opcode = in.flag() ? effEditKeyDown : effEditKeyUp;
        const VstInt32 character = in.anyInt32();
        const VstIntPtr virt = in.anyIntPtr();
        const float modifier = in.anyFloat();
        CHECK(e->dispatcher(e, opcode, character, virt, nullptr, modifier) == -1, "key requests answer -1");
        break;
    }
    case 5:
        e->dispatcher(e, effSetEditKnobMode, 0, in.anyIntPtr(), nullptr, 0.0f);
        break;
    default:
        e->dispatcher(e, (in.u8() & 1) != 0 ? effEditTop : effEditSleep, 0, 0, nullptr, 0.0f);
        break;
    }
    CheckState(e);
}

void Rate(AEffect* e, Reader& in) {
    const float rate = in.anyFloat();
    if (in.flag())
        e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, rate);
    else
        CHECK(e->dispatcher(e, effSetBlockSizeAndSampleRate, 0, in.anyIntPtr(), nullptr, rate) == 1,
              "effSetBlockSizeAndSampleRate answers 1");
    CheckState(e);
}

void Program(AEffect* e, Reader& in) {
    const VstIntPtr before = e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0.0f);
    const VstIntPtr value = in.flag() ? static_cast<VstIntPtr>(in.u8() % 12) - 2 : in.anyIntPtr();
    const bool reenter = in.u8() < 16;
    g_host.reenterOnTime = reenter;
    g_host.reenterProgram = in.anyIntPtr();
    e->dispatcher(e, effSetProgram, 0, value, nullptr, 0.0f);
    g_host.reenterOnTime = false;
    const VstIntPtr after = e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0.0f);
    // A program the host selects from inside the callback comes first; the
    // request's own program is selected after it.
    if (value >= 0 && value < 8)
        CHECK(after == value, "effSetProgram %lld left program %lld", static_cast<long long>(value),
              static_cast<long long>(after));
    else if (!reenter)
        CHECK(after == before, "effSetProgram %lld changed the program to %lld", static_cast<long long>(value),
              static_cast<long long>(after));
    CheckState(e);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* path = std::getenv("HALVORINE_MODULE");
    if (path == nullptr)
        path = HALVORINE_MODULE_PATH;
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr)
        Fail("cannot load %s: %s", path, dlerror());
    g_entries[0] = reinterpret_cast<EntryProc>(dlsym(module, "VSTPluginMain"));
    g_entries[1] = reinterpret_cast<EntryProc>(dlsym(module, "main"));
    if (g_entries[0] == nullptr || g_entries[1] == nullptr)
        Fail("%s does not export VSTPluginMain and main", path);
    const char* unmasked = std::getenv("HALVORINE_FUZZ_UNMASKED");
    g_alwaysUnmasked = unmasked != nullptr && std::strcmp(unmasked, "1") == 0;
    return 0;  // the module stays loaded for the whole run
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    AEffect* e = Create(in);
    int framesLeft = 1 << 14;  // per input, to keep the runs quick
    for (int actions = 0; actions < 256 && !in.empty(); ++actions) {
        if (e == nullptr) {
            if (g_host.version == 0)
                break;
            e = Create(in);
            if (e == nullptr)
                break;
            continue;
        }
        switch (in.u8() % 10) {
        case 0:
        case 1:
            Request(e, in, AnyOpcode(in));
            break;
        case 2:
            Parameter(e, in);
            break;
        case 3:
            Process(e, in, true, framesLeft);
            break;
        case 4:
            Process(e, in, false, framesLeft);
            break;
        case 5:
            Rate(e, in);
            break;
        case 6:
            Program(e, in);
            break;
        case 7:
            Editor(e, in);
            break;
        case 8:
            CHECK(e->dispatcher(e, effMainsChanged, 0, in.anyIntPtr(), nullptr, 0.0f) == 0, "effMainsChanged");
            break;
        default:
            Close(e);  // and build another instance with the next bytes
            break;
        }
    }
    if (e != nullptr)
        Close(e);
    return 0;
}
