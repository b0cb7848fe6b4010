/* The baseline of the LV2 benchmark: a stereo gain, so that what the host itself costs (reading,
 * converting and writing the files) can be taken off every plug-in's time. */
#include <lv2/core/lv2.h>

#include <stdlib.h>

typedef struct {
    const float *gain;  /* linear */
    const float *in[2];
    float *out[2];
} gain;

static LV2_Handle instantiate(const LV2_Descriptor *d, double rate, const char *path, const LV2_Feature *const *f) {
    (void)d, (void)rate, (void)path, (void)f;
    return calloc(1, sizeof(gain));
}

static void connect_port(LV2_Handle h, uint32_t port, void *data) {
    gain *g = (gain *)h;
    if (port == 0) g->gain = (const float *)data;
    else if (port <= 2) g->in[port - 1] = (const float *)data;
    else if (port <= 4) g->out[port - 3] = (float *)data;
}

static void run(LV2_Handle h, uint32_t frames) {
    gain *g = (gain *)h;
    const float factor = g->gain ? *g->gain : 1.0f;
    for (int c = 0; c < 2; ++c)
        for (uint32_t i = 0; i < frames; ++i) g->out[c][i] = g->in[c][i] * factor;
}

static void cleanup(LV2_Handle h) { free(h); }

static const LV2_Descriptor descriptor = {"urn:harrowfield:bench:gain", instantiate, connect_port, NULL, run,
                                          NULL, cleanup, NULL};

LV2_SYMBOL_EXPORT const LV2_Descriptor *lv2_descriptor(uint32_t index) { return index == 0 ? &descriptor : NULL; }
