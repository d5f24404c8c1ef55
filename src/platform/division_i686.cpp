// The 64-bit divisions that 32-bit x86 code calls, in place of the C
// compiler's runtime library's: a few hundred bytes where its own take two
// kilobytes and their unwinding tables, in every head part.  The program
// divides to lay a set out and to word its sizes, never once a byte, so
// plain shifting and subtracting is fast enough.
#if defined(_WIN32) && defined(__i386__)
#include <stdint.h>

#define RUNTIME extern "C" __attribute__((used, externally_visible))

RUNTIME uint64_t __udivmoddi4(uint64_t n, uint64_t d, uint64_t *remainder)
{
    uint64_t quotient = 0, rest = 0;
    if ((n >> 32) == 0 && (d >> 32) == 0) {
        // Both fit a register: the processor's own division.
        quotient = (uint32_t)n / (uint32_t)d;
        rest = (uint32_t)n % (uint32_t)d;
    } else {
        for (int bit = 63; bit >= 0; bit--) {
            rest = rest << 1 | (n >> bit & 1);
            if (rest >= d) {
                rest -= d;
                quotient |= (uint64_t)1 << bit;
            }
        }
    }
    if (remainder)
        *remainder = rest;
    return quotient;
}

RUNTIME uint64_t __udivdi3(uint64_t n, uint64_t d)
{
    return __udivmoddi4(n, d, 0);
}

RUNTIME uint64_t __umoddi3(uint64_t n, uint64_t d)
{
    uint64_t rest;
    __udivmoddi4(n, d, &rest);
    return rest;
}

// Signed: the quotient truncated toward zero, the remainder of the
// dividend's sign, as C has them.
RUNTIME int64_t __divmoddi4(int64_t n, int64_t d, int64_t *remainder)
{
    uint64_t un = n < 0 ? 0 - (uint64_t)n : (uint64_t)n, ud = d < 0 ? 0 - (uint64_t)d : (uint64_t)d;
    uint64_t rest;
    uint64_t quotient = __udivmoddi4(un, ud, &rest);
    if (remainder)
        *remainder = n < 0 ? (int64_t)(0 - rest) : (int64_t)rest;
    return (n < 0) != (d < 0) ? (int64_t)(0 - quotient) : (int64_t)quotient;
}

RUNTIME int64_t __divdi3(int64_t n, int64_t d)
{
    return __divmoddi4(n, d, 0);
}

RUNTIME int64_t __moddi3(int64_t n, int64_t d)
{
    int64_t rest;
    __divmoddi4(n, d, &rest);
    return rest;
}
#endif
