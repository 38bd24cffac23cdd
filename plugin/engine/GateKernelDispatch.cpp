// Which kernels a build has, which of them this processor runs, and which
// one takes a call. HALVORINE_KERNELS_X86 and HALVORINE_KERNELS_NEON say
// which source files the build compiled (see CMakeLists.txt); the portable
// kernel is in every build.
#include "GateKernel.h"

namespace gate {

bool CpuRuns(KernelSet set) {
    switch (set) {
    case KernelSet::Portable:
        return true;
    case KernelSet::Sse2:
#if defined(HALVORINE_KERNELS_X86)
        return true;
#else
        return false;
#endif
    case KernelSet::Avx:
#if defined(HALVORINE_KERNELS_X86)
        // Also asks whether the operating system saves the registers.
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx");
#else
        return false;
#endif
    case KernelSet::Avx512:
#if defined(HALVORINE_KERNELS_X86)
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f");
#else
        return false;
#endif
    case KernelSet::Neon:
        // Every 64-bit ARM processor has NEON with doubles (Advanced SIMD
        // is part of the architecture).
#if defined(HALVORINE_KERNELS_NEON)
        return true;
#else
        return false;
#endif
    }
    return false;
}

ChunkKernel KernelFor(KernelSet set, int32_t frames, bool metered) {
    // The short path, where a chunk is too short to fill the pipeline
    // for long. It mostly waits on chains of operations, as long in eight
    // lanes as in four: AVX-512 takes the AVX one, which is measured
    // against the kernels before, rather than an AVX-512 one of its own.
    const bool isShort = frames <= kShortChunk;
    switch (set) {
#if defined(HALVORINE_KERNELS_X86)
    case KernelSet::Avx512:
        return isShort ? (metered ? RunShortAvxMetered : RunShortAvx)
                       : (metered ? RunChunkAvx512Metered : RunChunkAvx512);
    case KernelSet::Avx:
        return isShort ? (metered ? RunShortAvxMetered : RunShortAvx) : (metered ? RunChunkAvxMetered : RunChunkAvx);
    case KernelSet::Sse2:
        return isShort ? (metered ? RunShortSse2Metered : RunShortSse2)
                       : (metered ? RunChunkSse2Metered : RunChunkSse2);
#endif
#if defined(HALVORINE_KERNELS_NEON)
    case KernelSet::Neon:
        return isShort ? (metered ? RunShortNeonMetered : RunShortNeon)
                       : (metered ? RunChunkNeonMetered : RunChunkNeon);
#endif
    default:
        break;
    }
    if (isShort)
        return metered ? RunShortPortableMetered : RunShortPortable;
    return metered ? RunChunkPortableMetered : RunChunkPortable;
}

RoundNormalFunction RoundNormalFor(KernelSet set) {
    if (!CpuRuns(set))
        return nullptr;
    switch (set) {
#if defined(HALVORINE_KERNELS_X86)
    case KernelSet::Avx512:
        return RoundNormalAvx512;
    case KernelSet::Avx:
        return RoundNormalAvx;
    case KernelSet::Sse2:
        return RoundNormalSse2;
#endif
#if defined(HALVORINE_KERNELS_NEON)
    case KernelSet::Neon:
        return RoundNormalNeon;
#endif
    default:
        break;
    }
    return RoundNormalPortable;
}

KernelSet WidestKernel() {
    if (CpuRuns(KernelSet::Avx512))
        return KernelSet::Avx512;
    if (CpuRuns(KernelSet::Avx))
        return KernelSet::Avx;
    if (CpuRuns(KernelSet::Sse2))
        return KernelSet::Sse2;
    return CpuRuns(KernelSet::Neon) ? KernelSet::Neon : KernelSet::Portable;
}

}  // namespace gate
