// A broken post-processor: entry 1 only, so the converter must refuse to start.
extern "C" __attribute__((visibility("default"))) int mstar_ordinal_1() { return 1; }
