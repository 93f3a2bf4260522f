#include "driver/post_processor.h"

#include "driver/messages.h"
#include "platform/file_helpers.h"
#include "platform/platform.h"

namespace {

template <typename Entry>
Entry LookUp(void* module, int ordinal) {
    return reinterpret_cast<Entry>(platform::LibraryOrdinal(module, ordinal));
}

}  // namespace

int LoadPdfPostProcessor(PostProcessor& postProcessor) {
    using namespace postproc_abi;
    postProcessor.module = platform::LoadLibraryFile(platform::PathBesideProgram(kLibraryFileName));
    if (postProcessor.module != nullptr) {
        const auto version = LookUp<InterfaceVersionFn>(postProcessor.module, kVersionOrdinal);
        // The other entries of another version may take other arguments: none is looked up.
        if (version != nullptr && version() == kInterfaceVersion) {
            postProcessor.postProcessPdf = LookUp<PostProcessPdfFn>(postProcessor.module, kPostProcessPdfOrdinal);
            postProcessor.lastFailure = LookUp<LastFailureFn>(postProcessor.module, kLastFailureOrdinal);
        }
    }
    if (postProcessor.postProcessPdf != nullptr && postProcessor.lastFailure != nullptr) return 1;
    platform::ShowErrorMessage(kProductCaption, "Load mstar.dll failed, please reinstall!");
    UnloadPdfPostProcessor(postProcessor);
    return 0;
}

void UnloadPdfPostProcessor(PostProcessor& postProcessor) {
    platform::FreeLibraryFile(postProcessor.module);
    postProcessor = PostProcessor{};
}

std::string PostProcessFailureReason(const PostProcessor& postProcessor) {
    const char* reason = postProcessor.lastFailure != nullptr ? postProcessor.lastFailure() : nullptr;
    return reason != nullptr ? std::string(reason) : std::string();
}
