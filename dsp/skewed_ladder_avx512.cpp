// The skewed ladder kernel for AVX512 registers (8 doubles); CMake compiles this file for that set.
#define ZENTROVA_SKEW_ISA avx512
#define ZENTROVA_SKEW_WIDTH 8
#include "dsp/skewed_ladder_kernel.inc"
