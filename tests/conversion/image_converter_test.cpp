// The conversion object: option validation, depth rules, handles, and whole BMP conversions.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "codecs/image_file.h"
#include "codecs/save_file.h"
#include "conversion/format_routines.h"
#include "conversion/image_converter.h"
#include "image/test_pixels.h"
#include "image/ximage.h"
#include "support/test_support.h"

namespace {

class Handle {
public:
    Handle() : handle_(ImgConvCreate()) {}
    ~Handle() {
        if (handle_ > 0) ImgConvDestroy(handle_);
    }
    ImgConvHandle get() const { return handle_; }
    void Set(int32_t code, int32_t value) { ImgConvSetOption(handle_, code, nullptr, value, 0); }
    void SetText(int32_t code, const char* text) { ImgConvSetOption(handle_, code, text, 0, 0); }

private:
    ImgConvHandle handle_;
};

// A 24-bit page: white with a red band and a black corner block, 150 dpi.
void WritePage(const std::string& path, uint32_t width = 60, uint32_t height = 40) {
    CxImage page;
    ASSERT_NE(page.Create(width, height, 24), nullptr);
    page.Clear(255);
    for (uint32_t x = 0; x < width; ++x) SetPixelColour(page, x, 5, RgbQuad{0, 0, 255, 0});
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x) SetPixelColour(page, x, height - 1 - y, RgbQuad{0, 0, 0, 0});
    page.SetXDPI(150);
    page.SetYDPI(150);
    ASSERT_TRUE(SaveFile(page, path, kFormatBmp));
}

}  // namespace

// The options as ImgConvSetOption applies them, on an object of the test's own.
class Options {
public:
    void Set(int32_t code, int32_t value) { ApplyConverterOption(object, code, nullptr, value); }
    void SetText(int32_t code, const char* text) { ApplyConverterOption(object, code, text, 0); }
    ImageConverter object;
};

TEST(ImageConverterOptions, DefaultsAndValidation) {
    Options h;
    const ImageConverter& c = h.object;
    EXPECT_EQ(c.outputType, kOutputJpeg);
    EXPECT_EQ(c.requestedDepth, 24);
    EXPECT_EQ(c.quality, 75);
    EXPECT_EQ(c.compression, 2);
    EXPECT_EQ(c.xResolution, 150);
    EXPECT_EQ(c.yResolution, 150);
    EXPECT_NE(c.multiPageImage, nullptr);

    for (int32_t bad : {0, 13, -1}) {
        h.Set(kOptionOutputType, 6);
        h.Set(kOptionOutputType, bad);
        EXPECT_EQ(c.outputType, kOutputJpeg) << bad;
    }
    h.Set(kOptionOutputType, 12);
    EXPECT_EQ(c.outputType, kOutputJpc);

    h.Set(kOptionXResolution, 50);
    h.Set(kOptionYResolution, 1200);
    EXPECT_EQ(c.xResolution, 72);
    EXPECT_EQ(c.yResolution, 600);
    h.Set(kOptionXResolution, 300);
    EXPECT_EQ(c.xResolution, 300);

    h.Set(kOptionWidth, 800);
    h.Set(kOptionWidth, 0);
    h.Set(kOptionHeight, -4);
    h.Set(kOptionRotation, -90);
    EXPECT_EQ(c.width, 800);
    EXPECT_EQ(c.height, 0);
    EXPECT_EQ(c.rotation, 0);
    h.Set(kOptionMultiPage, 5);
    h.Set(kOptionGreyscale, -1);
    EXPECT_EQ(c.multiPage, 1);
    EXPECT_EQ(c.greyscale, 1);
    h.Set(kOptionDepth, 16);
    h.Set(kOptionQuality, 300);
    h.Set(kOptionCompression, 99);
    EXPECT_EQ(c.requestedDepth, 16);
    EXPECT_EQ(c.quality, 300);
    EXPECT_EQ(c.compression, 99);
    h.Set(999, 1);  // unknown codes change nothing

    // Paths are made absolute; null or empty texts leave them unchanged; a path past 260
    // characters is taken whole, and one longer than the system takes is not cut into another
    // file's name.
#ifdef _WIN32
    const std::string root = "C:\\tmp\\";
#else
    const std::string root = "/tmp/";
#endif
    h.SetText(kOptionOutputPath, NativeSeparators(root + "a/../out.bmp").c_str());
    EXPECT_EQ(c.outputPath, root + "out.bmp");
    h.SetText(kOptionOutputPath, "");
    h.SetText(kOptionOutputPath, nullptr);
    EXPECT_EQ(c.outputPath, root + "out.bmp");
    h.SetText(kOptionMultiPagePath, (root + "doc.tif").c_str());
    EXPECT_EQ(c.multiPageOutputPath, root + "doc.tif");
    h.SetText(kOptionOutputPath, (root + std::string(300, 'x')).c_str());
    EXPECT_EQ(c.outputPath, root + std::string(300, 'x'));
    h.SetText(kOptionOutputPath, (root + std::string(platform::kLongestSystemPath, 'x')).c_str());
    EXPECT_EQ(c.outputPath, "");
    const std::string relative = "page_001.bmp";
    EXPECT_EQ(c.inputFiles.size(), 0u);
    TempDir dir;
    Handle handle;
    EXPECT_EQ(ImgConvSetOption(handle.get(), 999, nullptr, 1, 0), 1);
    handle.SetText(kOptionOutputPath, (dir / "out.bmp").c_str());
    handle.Set(kOptionOutputType, kOutputBmp);
    EXPECT_EQ(ImgConvAddFile(handle.get(), relative.c_str()), 1);
    // The relative page is looked for where the process runs.
    WriteFile(relative, "not a page");
    EXPECT_EQ(ImgConvConvert(handle.get()), 0);
    std::string why;
    ImgConvLastError(handle.get(), why);
    EXPECT_NE(why.find((std::filesystem::current_path() / relative).string()), std::string::npos) << why;
    std::filesystem::remove(relative);
}

TEST(ImageConverterOptions, EffectiveAndPaletteDepthTable) {
    struct Row {
        int32_t type, depth, grey, effective, palette, greyAfter;
    };
    const Row rows[] = {
        {kOutputBmp, 24, 0, 24, 0, 0},  {kOutputBmp, 8, 0, 24, 8, 0},  {kOutputBmp, 8, 1, 24, 8, 1},
        {kOutputGif, 24, 0, 24, 8, 0},  {kOutputJpeg, 8, 0, 24, 8, 1}, {kOutputJpeg, 24, 1, 24, 8, 1},
        {kOutputJpeg, 4, 0, 24, 0, 0},  {kOutputTga, 4, 0, 24, 0, 0},  {kOutputTga, 8, 1, 24, 8, 1},
        {kOutputTiff, 1, 0, 24, 1, 0},  {kOutputPng, 16, 0, 24, 0, 0}, {kOutputJp2, 8, 0, 24, 0, 0},
        {kOutputRas, 24, 1, 24, 8, 1},  {kOutputPcx, 4, 1, 24, 4, 1},  {kOutputGif, 1, 0, 24, 1, 0},
    };
    for (const Row& r : rows) {
        ImageConverter c;
        c.outputType = r.type;
        c.requestedDepth = r.depth;
        c.greyscale = r.grey;
        ComputeConverterDepths(c);
        EXPECT_EQ(c.effectiveDepth, r.effective) << r.type << "/" << r.depth << "/" << r.grey;
        EXPECT_EQ(c.paletteDepth, r.palette) << r.type << "/" << r.depth << "/" << r.grey;
        EXPECT_EQ(c.greyscale, r.greyAfter) << r.type << "/" << r.depth << "/" << r.grey;
    }
}

TEST(ImageConverterHandles, StaleHandlesFindNothing) {
    const ImgConvHandle first = ImgConvCreate();
    ASSERT_GT(first, 0);
    EXPECT_EQ(ImgConvDestroy(first), 1);
    const ImgConvHandle second = ImgConvCreate();
    ASSERT_GT(second, 0);
    EXPECT_NE(second, first);
    EXPECT_EQ(ImgConvAddFile(first, "/tmp/x.bmp"), 0);
    EXPECT_EQ(ImgConvSetOption(first, kOptionOutputType, nullptr, 1, 0), 0);
    EXPECT_EQ(ImgConvConvert(first), 0);
    EXPECT_EQ(ImgConvDestroy(first), 0);
    EXPECT_EQ(ImgConvConvert(second), 0);  // nothing was added to it
    EXPECT_EQ(ImgConvDestroy(second), 1);
    for (ImgConvHandle bad : {0, -1, -100000}) {
        EXPECT_EQ(ImgConvAddFile(bad, "/tmp/x.bmp"), 0);
        EXPECT_EQ(ImgConvConvert(bad), 0);
        EXPECT_EQ(ImgConvDestroy(bad), 0);
    }
}

TEST(RasterFormatRoutine, BmpOutputsByDepth) {
    TempDir dir;
    const std::string page = dir / "doc_001.bmp";
    WritePage(page);
    struct Case {
        int32_t depth, grey;
        uint32_t bits;
    };
    for (const Case& k : {Case{24, 0, 24}, Case{8, 0, 8}, Case{8, 1, 8}, Case{4, 0, 4}, Case{4, 1, 4},
                          Case{1, 0, 1}, Case{16, 1, 24}}) {
        Handle h;
        const std::string out = dir / "out.bmp";
        h.SetText(kOptionOutputPath, out.c_str());
        h.Set(kOptionOutputType, kOutputBmp);
        h.Set(kOptionDepth, k.depth);
        h.Set(kOptionGreyscale, k.grey);
        h.Set(kOptionXResolution, 300);
        h.Set(kOptionYResolution, 72);
        h.Set(kOptionRotation, 90);  // not applied to BMP output
        ImgConvAddFile(h.get(), page.c_str());
        ImgConvAddFile(h.get(), (dir / "missing.bmp").c_str());  // only the first is converted
        EXPECT_EQ(ImgConvConvert(h.get()), 1);
        CxImage written;
        ASSERT_TRUE(Load(written, out, kFormatBmp));
        EXPECT_EQ(written.GetBpp(), k.bits) << k.depth << "/" << k.grey;
        EXPECT_EQ(written.GetWidth(), 60u);
        EXPECT_EQ(written.GetXDPI(), 300);
        EXPECT_EQ(written.GetYDPI(), 72);
        const RgbQuad corner = written.GetPixelColor(0, 39);
        const RgbQuad background = written.GetPixelColor(30, 20);
        const RgbQuad band = written.GetPixelColor(30, 5);
        EXPECT_EQ(corner, (RgbQuad{0, 0, 0, 0}));
        EXPECT_EQ(background, (RgbQuad{255, 255, 255, 0}));
        if (k.bits == 1) {
            EXPECT_EQ(band, (RgbQuad{0, 0, 0, 0}));  // 255 < 383: black
        } else if (k.grey && k.bits < 24) {  // greyscale is ignored at 24 bits
            EXPECT_EQ(band.rgbRed, band.rgbBlue);
            EXPECT_EQ(band.rgbRed, band.rgbGreen);
        } else {
            EXPECT_EQ(band, (RgbQuad{0, 0, 255, 0}));
        }
        std::filesystem::remove(out);
    }
}

TEST(RasterFormatRoutine, ResampleAndFailures) {
    TempDir dir;
    const std::string page = dir / "doc_001.bmp";
    WritePage(page);
    {
        Handle h;
        h.SetText(kOptionOutputPath, (dir / "small.bmp").c_str());
        h.Set(kOptionOutputType, kOutputBmp);
        h.Set(kOptionWidth, 30);
        h.Set(kOptionHeight, 20);
        ImgConvAddFile(h.get(), page.c_str());
        EXPECT_EQ(ImgConvConvert(h.get()), 1);
        CxImage written;
        ASSERT_TRUE(Load(written, dir / "small.bmp", kFormatBmp));
        EXPECT_EQ(written.GetWidth(), 30u);
        EXPECT_EQ(written.GetHeight(), 20u);
        EXPECT_EQ(written.GetXDPI(), 150);
    }
    {
        // A page that cannot be read: no output file, a failure counted.
        WriteFile(dir / "broken.bmp", "BM not really");
        Handle h;
        h.SetText(kOptionOutputPath, (dir / "broken_out.bmp").c_str());
        h.Set(kOptionOutputType, kOutputBmp);
        ImgConvAddFile(h.get(), (dir / "broken.bmp").c_str());
        EXPECT_EQ(ImgConvConvert(h.get()), 0);
        EXPECT_FALSE(std::filesystem::exists(dir / "broken_out.bmp"));
    }
    {
        Handle h;
        h.Set(kOptionOutputType, kOutputBmp);
        EXPECT_EQ(ImgConvConvert(h.get()), 0);  // no input at all
    }
}
