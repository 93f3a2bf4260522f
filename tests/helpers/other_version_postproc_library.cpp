// A post-processor with every entry but of another interface version, whose entries may take
// other arguments: the converter must refuse to start.
#define MSTAR_EXPORT __attribute__((visibility("default")))
#include "protocol/postproc_abi.h"

int mstar_ordinal_1() { return postproc_abi::kInterfaceVersion + 1; }

int mstar_ordinal_2(const char*, const char*, const char*, int, const char*, int, const char*, int,
                    int, int, int, int, int, int) {
    return 1;
}

const char* mstar_ordinal_3() { return ""; }
