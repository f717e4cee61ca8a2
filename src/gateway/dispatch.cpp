#include "gateway/dispatch.hpp"

namespace tern::dispatch {

bool portable() { return true; }

#ifdef TERN_X86_KERNELS
bool avx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}
bool avx2Fma() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
}
bool avx512f() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") != 0;
}
#else
bool avx2() { return false; }
bool avx2Fma() { return false; }
bool avx512f() { return false; }
#endif

}  // namespace tern::dispatch
