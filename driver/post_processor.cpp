#include "driver/post_processor.h"

#include "driver/messages.h"
#include "platform/file_helpers.h"
#include "platform/platform.h"

int LoadPdfPostProcessor(PostProcessor& postProcessor) {
    postProcessor.module =
        platform::LoadLibraryFile(platform::PathBesideProgram(kPostProcessorFileName));
    if (postProcessor.module != nullptr) {
        postProcessor.versionEntry = platform::LibraryOrdinal(postProcessor.module, 1);
        if (postProcessor.versionEntry != nullptr) {
            postProcessor.postProcessPdf =
                reinterpret_cast<PostProcessPdfFunction>(platform::LibraryOrdinal(postProcessor.module, 2));
        }
    }
    if (postProcessor.postProcessPdf != nullptr) return 1;
    platform::ShowErrorMessage(kProductCaption, "Load mstar.dll failed, please reinstall!");
    UnloadPdfPostProcessor(postProcessor);
    return 0;
}

void UnloadPdfPostProcessor(PostProcessor& postProcessor) {
    platform::FreeLibraryFile(postProcessor.module);
    postProcessor = PostProcessor{};
}
