// A stand-in post-processor exporting the two entries the converter resolves at start-up.
extern "C" __attribute__((visibility("default"))) int mstar_ordinal_1() { return 1; }

extern "C" __attribute__((visibility("default"))) int mstar_ordinal_2(
    const char*, const char*, const char*, int, const char*, int, const char*, int, int, int, int,
    int, int, int) {
    return 1;
}
