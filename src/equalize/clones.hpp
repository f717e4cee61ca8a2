// The instruction sets the equaliser's vector kernels are compiled for, one
// clone each, chosen at run time. Every clone does the same operations in
// the same order (the build turns fused multiply-adds off), so all give the
// same bits. Where no wider x86 variants are built, the one portable
// function stays.
#pragma once

#include "gateway/dispatch.hpp"

#ifdef TERN_X86_KERNELS
#define TERN_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define TERN_VECTOR_CLONES
#endif
