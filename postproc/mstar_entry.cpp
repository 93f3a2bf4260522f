// The exported C entries. Everything behind them may throw; nothing may cross this boundary,
// but the reason of a failure is kept for the converter to show.

#include <exception>
#include <string>

#include "postproc/overlay_request.h"
#include "postproc/pdf_stamper.h"
#include "protocol/postproc_abi.h"

namespace {

// Texts reach the library from fixed buffers of this many characters.
constexpr size_t kTextCapacity = 255;

// Why the latest post-processing call failed. Calls are not made on two threads at once.
std::string& LastFailure() {
    static std::string reason;
    return reason;
}

std::string TextArgument(const char* text) {
    if (!text) return {};
    std::string value(text);
    if (value.size() > kTextCapacity) value.resize(kTextCapacity);
    return value;
}

// Runs work, which returns 1 or gives its reason and returns 0, and turns anything it throws
// into 0 with the exception's words as the reason.
template <typename Work>
int TrapErrors(Work&& work) {
    std::string& reason = LastFailure();
    reason.clear();
    try {
        return work(reason);
    } catch (const std::exception& error) {
        reason = error.what();
    } catch (...) {
        reason = "an unexpected failure";
    }
    if (reason.empty()) reason = "an unexpected failure";
    return 0;
}

}  // namespace

extern "C" MSTAR_EXPORT int mstar_ordinal_1(void) { return postproc_abi::kInterfaceVersion; }

extern "C" MSTAR_EXPORT int mstar_ordinal_2(const char* outputFile, const char* ownerPassword,
                                            const char* userPassword, int /*encryptFlag*/,
                                            const char* /*productText*/, int overlayOn,
                                            const char* overlayText, int overlayColor,
                                            int overlaySize, int overlayPosition,
                                            int overlayRotation, int overlayX, int overlayY,
                                            int overlayFlag) {
    // The encryption flag and the product text change nothing here: the file's own encryption
    // is what is kept, and nothing is written but the overlay.
    return TrapErrors([&](std::string& reason) -> int {
        mstar::OverlayCallValues values;
        values.text = TextArgument(overlayText);
        if (!overlayOn || values.text.empty()) return 1;  // nothing to add; the file stays as is

        // The path is not cut: a shortened path would name another file.
        const std::string path = outputFile ? std::string(outputFile) : std::string();
        if (path.empty()) {
            reason = "no file was named";
            return 0;
        }

        values.colorRef = overlayColor;
        values.size = overlaySize;
        values.position = overlayPosition;
        values.rotation = overlayRotation;
        values.x = overlayX;
        values.y = overlayY;
        values.flag = overlayFlag;
        mstar::StampPdfFile(
            path, mstar::PdfPasswords{TextArgument(userPassword), TextArgument(ownerPassword)},
            mstar::MakeOverlayRequest(values));
        return 1;
    });
}

extern "C" MSTAR_EXPORT const char* mstar_ordinal_3(void) { return LastFailure().c_str(); }
