// A stand-in post-processor exporting the entries the converter resolves at start-up. It leaves
// a file without overlay as it is and refuses every overlay, with a reason.
#define MSTAR_EXPORT __attribute__((visibility("default")))
#include "protocol/postproc_abi.h"

namespace {
const char* reason = "";
}

int mstar_ordinal_1() { return postproc_abi::kInterfaceVersion; }

int mstar_ordinal_2(const char*, const char*, const char*, int, const char*, int overlayOn,
                    const char* overlayText, int, int, int, int, int, int, int) {
    const bool asked = overlayOn != 0 && overlayText != nullptr && overlayText[0] != '\0';
    reason = asked ? "the stand-in takes no overlay" : "";
    return asked ? 0 : 1;
}

const char* mstar_ordinal_3() { return reason; }
