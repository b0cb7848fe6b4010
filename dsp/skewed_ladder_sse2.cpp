// The skewed ladder kernel for SSE2 registers (2 doubles); CMake compiles this file for that set.
#define ZENTROVA_SKEW_ISA sse2
#define ZENTROVA_SKEW_WIDTH 2
#include "dsp/skewed_ladder_kernel.inc"
