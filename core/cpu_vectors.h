// Vector code where the compiler can make it. Each path is chosen at run
// time, so the module still runs on a processor without the wider lanes.
#pragma once

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QL_X86_VECTORS 1
#else
#define QL_X86_VECTORS 0
#endif

// Whether the processor has AVX2. Asked each time rather than kept: the
// runtime keeps the answer already, and a copy of our own would be one more
// module-wide variable.
inline bool HasAvx2() {
#if QL_X86_VECTORS
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}
