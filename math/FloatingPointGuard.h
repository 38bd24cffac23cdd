// The floating-point environment at the boundary with a host.
//
// Hosts call in on threads whose floating-point state is theirs: some
// toolchains' runtimes unmask invalid operation, divide by zero and
// overflow, and then one NaN sample or one overflowing band would trap
// inside our code and take the host down with it. Every entry from a host
// (the plug-in interfaces' entry functions, the window procedures and event
// handlers) holds one FloatingPointGuard for the length of the call:
//
// - on entry, every exception is masked, so our arithmetic yields
//   infinities and NaNs instead of trapping, and SSE arithmetic rounds to
//   nearest: the engine's samples depend on the rounding mode (a host
//   thread left rounding toward zero would change nearly every one), and
//   every build and edition computes the same samples;
// - on return, the thread gets back exactly the state it came in with,
//   its rounding mode and the exception flags our arithmetic raised
//   included, so the host sees no change.
//
// Flush-to-zero and denormals-are-zero stay as the host set them: the
// engine keeps denormals out of its recursions, and its samples are the
// same with both on or off.
//
// On 64-bit ARM the same holds for FPCR (controls) and FPSR (flags): on
// entry the trap enables are cleared (trapping is optional hardware there,
// but a host may run where it exists) and rounding is set to nearest; FZ,
// the flush-to-zero bit, stays as the host set it. On return FPSR gets its
// flags back, and FPCR its controls where they were changed.
//
// What is saved: MXCSR in every x86 build. On 32-bit x86 also the x87
// environment, when the host left an x87 exception unmasked: C runtime code
// (text formatting, for one) may still compute on the x87 there, and a
// float result comes back on the x87 stack. Its status word is restored
// with it, so that a flag raised while masked cannot become a pending
// exception that traps in the host once its control word is back.
//
// The compiler does not know that arithmetic depends on MXCSR: it may move
// a computation whose operands and result stay in registers across the
// guard's ends. A call it cannot see into, or a result stored to memory,
// keeps the work inside. So entry functions are best guarded whole, with
// Guarded<F> below, which calls F where the compiler cannot follow; where
// the guard is held in a function's body instead (a window procedure),
// that body should do nothing but call on.
//
// Cost: an MXCSR store and two loads a call, a few nanoseconds where the
// host runs with the usual settings (all masked, to nearest): a load that
// leaves the masks and rounding as they are is cheap. Where the host
// unmasked exceptions, the two loads change them and cost some tens of
// cycles each. The x87 part only where the host unmasked an x87 exception. Header-only, so that each
// binary (the LV2 DSP library among them, which links nothing but the C
// library) gets its own copy.
#pragma once

#include <cstdint>
#include <utility>

namespace fpenv {

constexpr uint32_t kSseExceptionMasks = 0x1F80;  // IM DM ZM OM UM PM
constexpr uint32_t kSseRoundingControl = 0x6000;  // RC; 0 is to nearest
constexpr uint16_t kX87ExceptionMasks = 0x003F;  // IM DM ZM OM UM PM
constexpr uint64_t kFpcrTrapEnables = 0x9F00;      // IDE IXE UFE OFE DZE IOE
constexpr uint64_t kFpcrRoundingMode = 0xC00000;   // RMode; 0 is to nearest

#if defined(__i386__) || defined(__x86_64__)
inline uint32_t ReadMxcsr() {
    uint32_t mxcsr = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(mxcsr));
    return mxcsr;
}
inline void WriteMxcsr(uint32_t mxcsr) { __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr)); }
inline uint16_t ReadX87ControlWord() {
    uint16_t cw = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(cw));
    return cw;
}
inline void WriteX87ControlWord(uint16_t cw) { __asm__ __volatile__("fldcw %0" : : "m"(cw)); }
#endif

class FloatingPointGuard {
public:
    FloatingPointGuard() {
#if defined(__i386__) || defined(__x86_64__)
        mxcsr_ = ReadMxcsr();
        // The memory clobber keeps the compiler from moving our loads and
        // stores across the switch.
        const uint32_t masked = (mxcsr_ | kSseExceptionMasks) & ~kSseRoundingControl;
        __asm__ __volatile__("ldmxcsr %0" : : "m"(masked) : "memory");
#endif
#if defined(__aarch64__)
        __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr_));
        __asm__ __volatile__("mrs %0, fpsr" : "=r"(fpsr_));
        // Writing FPCR can stall the pipeline on some cores: only when a
        // control has to change (a host that left all masked and rounds to
        // nearest, the usual case, pays two reads and a write of FPSR).
        const uint64_t masked = fpcr_ & ~(kFpcrTrapEnables | kFpcrRoundingMode);
        if (masked != fpcr_)
            __asm__ __volatile__("msr fpcr, %0" : : "r"(masked) : "memory");
#endif
#if defined(__i386__)
        if ((ReadX87ControlWord() & kX87ExceptionMasks) != kX87ExceptionMasks) {
            // fnstenv saves control, status and tag words, then masks every
            // x87 exception: exactly the switch needed here. fnclex then
            // clears any exception the host left pending, which would
            // otherwise trap at our first x87 instruction; the host gets it
            // back with its status word.
            __asm__ __volatile__("fnstenv %0\n\tfnclex" : "=m"(x87_) : : "memory");
            x87Saved_ = true;
        }
#endif
    }

    ~FloatingPointGuard() {
#if defined(__i386__)
        // fldenv also restores the tag word, which marks every x87
        // register as the host left it: empty. The clobbers make the
        // compiler keep nothing there across it (a float result on its way
        // back to the host waits in memory and is loaded again after).
        if (x87Saved_)
            __asm__ __volatile__("fldenv %0"
                                 :
                                 : "m"(x87_)
                                 : "memory", "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)");
#endif
#if defined(__i386__) || defined(__x86_64__)
        __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr_) : "memory");
#endif
#if defined(__aarch64__)
        if ((fpcr_ & (kFpcrTrapEnables | kFpcrRoundingMode)) != 0)
            __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr_) : "memory");
        __asm__ __volatile__("msr fpsr, %0" : : "r"(fpsr_) : "memory");
#endif
    }

    FloatingPointGuard(const FloatingPointGuard&) = delete;
    FloatingPointGuard& operator=(const FloatingPointGuard&) = delete;

private:
#if defined(__i386__) || defined(__x86_64__)
    uint32_t mxcsr_ = 0;
#endif
#if defined(__aarch64__)
    uint64_t fpcr_ = 0, fpsr_ = 0;
#endif
#if defined(__i386__)
    unsigned char x87_[28];  // the 32-bit protected-mode environment
    bool x87Saved_ = false;
#endif
};

// The function pointer `p`, which the compiler can no longer trace to a
// function: a call through it cannot be inlined, and everything the callee
// computes happens between the call and its return.
template <typename P>
inline P Opaque(P p) {
#if defined(__GNUC__)
    __asm__("" : "+r"(p));
#endif
    return p;
}

template <auto F>
struct GuardedCall;

template <typename R, typename... A, R (*F)(A...)>
struct GuardedCall<F> {
    static R call(A... args) {
        FloatingPointGuard guard;
        return Opaque(F)(args...);
    }
};

template <typename R, typename... A, R (*F)(A...) noexcept>
struct GuardedCall<F> {
    static R call(A... args) noexcept {
        FloatingPointGuard guard;
        return Opaque(F)(args...);
    }
};

// Guarded<F>: an entry function of F's own signature (and calling
// convention, the default one) that holds a guard for the length of the
// call to F. For the tables of entry points a host calls through:
//   const LV2_Descriptor kDescriptor = {uri, fpenv::Guarded<instantiate>, ...};
template <auto F>
constexpr auto Guarded = &GuardedCall<F>::call;

// Runs `body` as an entry from a host that no exception may reach (the
// editor entries of the VST3 view and the CLAP gui): a guard for its
// length, and `failed` answered for anything it throws.
template <typename Result, typename Body>
Result HostCall(Result failed, Body&& body) {
    FloatingPointGuard guard;
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return failed;
    }
}

}  // namespace fpenv
