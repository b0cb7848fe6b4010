// The skewed ladder kernel for AVX2 registers (4 doubles); CMake compiles this file for that set.
#define ZENTROVA_SKEW_ISA avx2
#define ZENTROVA_SKEW_WIDTH 4
#include "dsp/skewed_ladder_kernel.inc"
