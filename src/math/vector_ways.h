// What the processor offers the vector ways of the checksum and the field
// arithmetic.  Only their kernels are compiled for more than an i686 has,
// each by its own attribute, and the processor is asked at run time before
// they are called.  The Windows program, in every head part, keeps its
// image small with the tables alone, which do more than a gigabyte a second.
#ifndef QCLEAVER_VECTOR_WAYS_H
#define QCLEAVER_VECTOR_WAYS_H

#if (defined(__i386__) || defined(__x86_64__)) && !defined(_WIN32)
#define QC_VECTOR_WAYS 1
#include <cpuid.h>
#include <immintrin.h>
#if defined(__i386__)
// 32-bit x86 code may keep the stack only 4-byte aligned, yet spilled
// vector registers need more: realign it on the way in.
#define VECTOR_TARGET(features) __attribute__((target(features), force_align_arg_pointer))
#else
#define VECTOR_TARGET(features) __attribute__((target(features)))
#endif

struct VectorFeatures {
    bool sse2, ssse3, pclmul;
    bool avx2, vpclmul, gfni;  // only where the system keeps the YMM registers
};

inline VectorFeatures AskProcessor()
{
    VectorFeatures has = {};
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return has;
    has.sse2 = edx & bit_SSE2;
    has.ssse3 = ecx & bit_SSSE3;
    has.pclmul = ecx & bit_PCLMUL;
    unsigned xcr0 = 0, xcr0_high;
    if (ecx & bit_OSXSAVE)
        __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
    if ((xcr0 & 6) == 6 && __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) {
        has.avx2 = ebx & bit_AVX2;
        has.vpclmul = ecx & bit_VPCLMULQDQ;
        has.gfni = ecx & bit_GFNI;
    }
    return has;
}
#endif

#endif
