#include "app/option_checks.h"

#include "app/option_tables.h"
#include "image/output_formats.h"
#include "settings/converter_message.h"

namespace {

std::string DepthName(int32_t bits) {
    switch (bits) {
        case 1: return "black and white";
        case 3: return "16 grey levels";
        case 4: return "16 colours";
        case 7: return "256 grey levels";
        case 8: return "256 colours";
        case 24: return "true colour";
        default: return std::to_string(bits) + " bits";
    }
}

bool IsFaxCompression(int32_t code) {
    return code == kCompressionG4 || code == kCompressionG3 || code == kCompressionRle;
}

}  // namespace

std::vector<std::string> OptionsThatCannotApply(const Settings& settings, const ParseReport& report) {
    std::vector<std::string> lines;
    const auto tell = [&lines](const std::string& line) { lines.push_back(ConverterMessage(line)); };
    const OutputFormat* format = settings.outputPdf != 0 ? nullptr : FindOutputFormat(settings.imageType);
    const bool tiff = format != nullptr && format->type == kOutputTiff;

    if (settings.multiPageTiff != 0 && report.Given("-mm") && !tiff) {
        tell(format == nullptr ? "-mm applies to TIFF only; one PDF per document written instead"
                               : "-mm applies to TIFF only; one " + std::string(format->name) +
                                     " file per page written instead");
    }
    if (format == nullptr) return lines;

    const std::string images = "the " + std::string(format->name) + " images";
    for (const char* option : {"-pu", "-pn", "-pe", "-pl", "-wt"}) {
        if (report.Given(option)) tell(std::string(option) + " applies to PDF output only; " + images + " are written without it");
    }

    const int32_t bits = BitsWritten(*format, settings.bitsPerPixel);
    if (report.Given("-mb") && bits != settings.bitsPerPixel) {
        tell("-mb " + std::to_string(settings.bitsPerPixel) + " cannot apply to " + std::string(format->name) + "; " +
             DepthName(bits) + " (-mb " + std::to_string(bits) + ") written instead");
    }
    if (tiff && settings.tiffCompression != -1) {
        const int32_t written = TiffCompressionWritten(settings.tiffCompression, DepthOfBits(bits), IsGreyBits(bits));
        if (written != settings.tiffCompression) {
            const std::string asked = CompressionKeyword(settings.tiffCompression);
            tell("-mc " + asked + " cannot compress " + DepthName(bits) + " pages; " + CompressionKeyword(written) +
                 " written instead" + (IsFaxCompression(settings.tiffCompression) ? " (" + asked + " needs -mb 1)" : ""));
        }
    }

    const bool across = report.Given("-mx");
    const bool down = report.Given("-my");
    if (across != down) {
        const int32_t given = across ? settings.resolutionX : settings.resolutionY;
        tell(std::string(across ? "-mx" : "-my") + " " + std::to_string(given) + " without " + (across ? "-my" : "-mx") +
             ": pages rendered at " + std::to_string(settings.resolutionX) + " x " +
             std::to_string(settings.resolutionY) + " dpi; give both, or --dpi " + std::to_string(given));
    }
    return lines;
}
