#include "core/fp_env.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace varnex {

bool flush_to_zero_off() {
#if defined(__x86_64__) || defined(__i386__)
    // MXCSR bit 15 is flush-to-zero, bit 6 denormals-are-zero.
    constexpr unsigned kFlushToZero = 1u << 15;
    constexpr unsigned kDenormalsAreZero = 1u << 6;
    return (_mm_getcsr() & (kFlushToZero | kDenormalsAreZero)) == 0;
#else
    return true;
#endif
}

bool keep_denormals() {
    if (flush_to_zero_off()) return true;
#if defined(__x86_64__) || defined(__i386__)
    _mm_setcsr(_mm_getcsr() & ~((1u << 15) | (1u << 6)));
#endif
    return false;
}

}  // namespace varnex
