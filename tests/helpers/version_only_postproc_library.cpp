// A broken post-processor: entry 1 only, so the converter must refuse to start.
#define MSTAR_EXPORT __attribute__((visibility("default")))
#include "protocol/postproc_abi.h"

int mstar_ordinal_1() { return postproc_abi::kInterfaceVersion; }
