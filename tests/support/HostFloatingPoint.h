// A host whose threads run with invalid operation, division by zero and
// overflow unmasked, as the runtimes of some toolchains leave them: around
// each call into the library the calling thread unmasks those three, the
// way such a host does (feenableexcept on Linux; _controlfp_s and the MXCSR
// on Windows), and after it checks that the call gave back exactly that
// state: MXCSR, flags included, and the x87 control word. Between calls the
// test program's own arithmetic runs with its usual settings.
//
// The same host also runs with the rest of MXCSR as unlike the default as
// it gets: flush-to-zero and denormals-are-zero on, rounding toward zero.
// The library must compute the same samples all the same.
//
// A trap inside the library ends the program (SIGFPE, or an unhandled
// exception under wine), which fails the test run.
//
// Header-only: the test host and the module's fuzz target both use it.
#pragma once

#include <atomic>
#include <cfenv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <float.h>
#endif

#include "DAEffect.h"

namespace hostfp {

// On 64-bit ARM the same two fields hold FPCR (controls) and FPSR's
// cumulative exception flags (the status x86 keeps in MXCSR).
struct State {
    uint32_t mxcsr = 0;
    uint16_t x87 = 0;  // control word
    bool operator==(const State& o) const { return mxcsr == o.mxcsr && x87 == o.x87; }
    bool operator!=(const State& o) const { return !(*this == o); }
};

#if defined(__aarch64__)
constexpr uint64_t kFpcrFlushAndTruncate = (uint64_t{1} << 24) | (uint64_t{3} << 22);  // FZ, RMode toward zero

inline State Read() {
    uint64_t fpcr, fpsr;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr) : : "memory");
    __asm__ __volatile__("mrs %0, fpsr" : "=r"(fpsr) : : "memory");
    State s;
    s.mxcsr = static_cast<uint32_t>(fpcr);
    s.x87 = static_cast<uint16_t>(fpsr & 0x9F);
    return s;
}

inline void Write(const State& s) {
    const uint64_t fpcr = s.mxcsr, fpsr = s.x87;
    __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr) : "memory");
    __asm__ __volatile__("msr fpsr, %0" : : "r"(fpsr) : "memory");
}

// Unmasks the three as a host does (where the processor implements
// trapping: many, and qemu, do not), with flush-to-zero on and rounding
// toward zero; the flags are cleared first.
inline void Unmask() {
    std::feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    uint64_t fpcr;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr));
    fpcr |= kFpcrFlushAndTruncate;
    __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr) : "memory");
}
#else
inline State Read() {
    State s;
    __asm__ __volatile__("stmxcsr %0" : "=m"(s.mxcsr) : : "memory");
    __asm__ __volatile__("fnstcw %0" : "=m"(s.x87) : : "memory");
    return s;
}

inline void Write(const State& s) {
    __asm__ __volatile__("ldmxcsr %0" : : "m"(s.mxcsr) : "memory");
    __asm__ __volatile__("fldcw %0" : : "m"(s.x87) : "memory");
}

constexpr uint32_t kSseUnmasked = 0x0080 | 0x0200 | 0x0400;  // IM ZM OM
constexpr uint32_t kSseFlushAndTruncate = 0x8000 | 0x0040 | 0x6000;  // FTZ DAZ, RC toward zero
constexpr uint16_t kX87Unmasked = 0x0001 | 0x0004 | 0x0008;  // IM ZM OM

// Unmasks the three on the calling thread as a host does, and sets the rest
// of MXCSR as above; the flags are cleared first, so that nothing already
// raised becomes pending.
inline void Unmask() {
    std::feclearexcept(FE_ALL_EXCEPT);
#if defined(_WIN32)
    unsigned int control = 0;
    _controlfp_s(&control, 0, _EM_INVALID | _EM_ZERODIVIDE | _EM_OVERFLOW);
#else
    feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
#endif
    // MXCSR directly as well: a 32-bit program's _controlfp_s need not
    // reach the SSE unit.
    uint32_t csr = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(csr));
    csr = (csr & ~kSseUnmasked) | kSseFlushAndTruncate;
    __asm__ __volatile__("ldmxcsr %0" : : "m"(csr) : "memory");
}
#endif

// What a changed state is reported through: the test programs fail the
// running test, the fuzz target aborts.
using Reporter = void (*)(const char* call, long detail, State want, State got);

inline void AbortReporter(const char* call, long detail, State want, State got) {
    std::fprintf(stderr,
                 "floating-point state changed by %s (%ld): MXCSR %#010x, x87 control word %#06x; the host had "
                 "%#010x, %#06x\n",
                 call, detail, static_cast<unsigned>(got.mxcsr), static_cast<unsigned>(got.x87),
                 static_cast<unsigned>(want.mxcsr), static_cast<unsigned>(want.x87));
    std::abort();
}

inline std::atomic<bool> g_enabled{false};
inline std::atomic<Reporter> g_reporter{&AbortReporter};

inline void Enable(Reporter reporter = &AbortReporter) {
    g_reporter.store(reporter);
    g_enabled.store(true);
}
inline void Disable() { g_enabled.store(false); }
inline bool Enabled() { return g_enabled.load(std::memory_order_relaxed); }

// Held around one call into the library; does nothing unless enabled.
class UnmaskedCall {
public:
    explicit UnmaskedCall(const char* call, long detail = 0) : call_(call), detail_(detail) {
        if (!Enabled())
            return;
        active_ = true;
        saved_ = Read();
        Unmask();
        want_ = Read();
    }
    ~UnmaskedCall() {
        if (!active_)
            return;
        const State got = Read();
        Write(saved_);
        if (got != want_)
            g_reporter.load()(call_, detail_, want_, got);
    }
    UnmaskedCall(const UnmaskedCall&) = delete;
    UnmaskedCall& operator=(const UnmaskedCall&) = delete;

private:
    const char* call_;
    long detail_;
    bool active_ = false;
    State saved_, want_;
};

// ---------------------------------------------------------------------------
// The effect record's entries, called through UnmaskedCall. Wrap puts these
// into a record that `main` returned, so that every call a test makes
// through the record is one of such a host. All instances of one module
// share its entry functions, which are kept here once.

struct Entries {
    std::atomic<AEffectDispatcherProc> dispatcher{nullptr};
    std::atomic<AEffectProcessProc> process{nullptr};
    std::atomic<AEffectProcessProc> processReplacing{nullptr};
    std::atomic<AEffectSetParameterProc> setParameter{nullptr};
    std::atomic<AEffectGetParameterProc> getParameter{nullptr};
};
inline Entries g_entries;

inline VstIntPtr VSTCALLBACK Dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                        float opt) {
    UnmaskedCall call("dispatcher", opcode);
    return g_entries.dispatcher.load()(e, opcode, index, value, ptr, opt);
}
inline void VSTCALLBACK Process(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
    UnmaskedCall call("process", frames);
    g_entries.process.load()(e, inputs, outputs, frames);
}
inline void VSTCALLBACK ProcessReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
    UnmaskedCall call("processReplacing", frames);
    g_entries.processReplacing.load()(e, inputs, outputs, frames);
}
inline void VSTCALLBACK SetParameter(AEffect* e, VstInt32 index, float value) {
    UnmaskedCall call("setParameter", index);
    g_entries.setParameter.load()(e, index, value);
}
inline float VSTCALLBACK GetParameter(AEffect* e, VstInt32 index) {
    UnmaskedCall call("getParameter", index);
    return g_entries.getParameter.load()(e, index);
}

template <typename Proc>
void Keep(std::atomic<Proc>& kept, Proc& field, Proc wrapper) {
    if (field == wrapper || field == nullptr)
        return;
    Proc expected = nullptr;
    if (!kept.compare_exchange_strong(expected, field) && expected != field) {
        std::fprintf(stderr, "hostfp: records with different entry functions\n");
        std::abort();
    }
    field = wrapper;
}

// Does nothing unless enabled.
inline void Wrap(AEffect* e) {
    if (!Enabled() || e == nullptr)
        return;
    Keep(g_entries.dispatcher, e->dispatcher, &Dispatcher);
    Keep(g_entries.process, e->process, &Process);
    Keep(g_entries.processReplacing, e->processReplacing, &ProcessReplacing);
    Keep(g_entries.setParameter, e->setParameter, &SetParameter);
    Keep(g_entries.getParameter, e->getParameter, &GetParameter);
}

}  // namespace hostfp
