// The instruction sets the equaliser's vector kernels are compiled for, one
// clone each, chosen at run time. Every clone does the same operations in
// the same order (the build turns fused multiply-adds off), so all give the
// same bits.
#pragma once

#define TERN_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
