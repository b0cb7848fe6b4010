/* The two vector operations the effect uses, as plain loops the compiler vectorises. */
#ifndef ACCELERATE_H
#define ACCELERATE_H

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

typedef long vDSP_Stride;
typedef unsigned long vDSP_Length;

/* C[n] = A[n] * B */
static inline void vDSP_vsmulD(const double *A, vDSP_Stride IA, const double *B, double *C, vDSP_Stride IC,
                               vDSP_Length N) {
    const double b = *B;
    if (IA == 1 && IC == 1) {
        for (vDSP_Length n = 0; n < N; ++n) C[n] = A[n] * b;
    } else {
        for (vDSP_Length n = 0; n < N; ++n) C[n * IC] = A[n * IA] * b;
    }
}

/* D[n] = A[n] clipped to [*B, *C]. Written as two comparisons rather than fmin/fmax so that a NaN
 * sample is not silently replaced: callers that must never pass NaN test for it themselves. */
static inline void vDSP_vclip(const float *A, vDSP_Stride IA, const float *B, const float *C, float *D,
                              vDSP_Stride ID, vDSP_Length N) {
    const float lo = *B, hi = *C;
    for (vDSP_Length n = 0; n < N; ++n) {
        float x = A[n * IA];
        x = x < lo ? lo : x;
        x = x > hi ? hi : x;
        D[n * ID] = x;
    }
}

CF_EXTERN_C_END

#endif
