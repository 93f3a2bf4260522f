// The exported C entries. Everything behind them may throw; nothing may cross this boundary.

#include <exception>
#include <string>

#include "postproc/mstar_api.h"
#include "postproc/overlay_request.h"
#include "postproc/pdf_stamper.h"

namespace {

constexpr int kInterfaceVersion = 1;
// Texts reach the library from fixed buffers of this many characters.
constexpr size_t kTextCapacity = 255;

std::string TextArgument(const char* text) {
    if (!text) return {};
    std::string value(text);
    if (value.size() > kTextCapacity) value.resize(kTextCapacity);
    return value;
}

template <typename Work>
int TrapErrors(Work&& work) {
    try {
        return work();
    } catch (...) {
        return 0;
    }
}

}  // namespace

extern "C" MSTAR_EXPORT int mstar_ordinal_1(void) { return kInterfaceVersion; }

extern "C" MSTAR_EXPORT int mstar_ordinal_2(const char* outputFile, const char* ownerPassword,
                                            const char* userPassword, int /*encryptFlag*/,
                                            const char* /*productText*/, int overlayOn,
                                            const char* overlayText, int overlayColor,
                                            int overlaySize, int overlayPosition,
                                            int overlayRotation, int overlayX, int overlayY,
                                            int overlayFlag) {
    // The encryption flag and the product text change nothing here: the file's own encryption
    // is what is kept, and nothing is written but the overlay.
    return TrapErrors([&]() -> int {
        mstar::OverlayCallValues values;
        values.text = TextArgument(overlayText);
        if (!overlayOn || values.text.empty()) return 1;  // nothing to add; the file stays as is

        // The path is not cut: a shortened path would name another file.
        const std::string path = outputFile ? std::string(outputFile) : std::string();
        if (path.empty()) return 0;

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
