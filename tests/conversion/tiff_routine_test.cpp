// The TIFF format routine through the converter's handle calls: single pages, the multi-page
// file under its temporary name, and pages that fail.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "codecs/raster_test_image.h"
#include "conversion/tiff_page_facts.h"
#include "conversion/image_converter.h"
#include "image/ximage.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

class TiffRoutine : public ::testing::Test {
  protected:
    // Writes a page BMP of width 30 + page whose top half is red and bottom half blue.
    std::string WritePage(int page) {
        CxImage image;
        EXPECT_NE(image.Create(30 + page, 20, 24, 0), nullptr);
        for (uint32_t y = 0; y < 20; ++y)
            for (uint32_t x = 0; x < image.GetWidth(); ++x)
                SetTopPixel(image, x, y, y < 10 ? Rgb{230, 20, 20} : Rgb{20, 20, 230});
        const std::string path = dir / ("page_" + std::to_string(page) + ".bmp");
        EXPECT_TRUE(SaveFile(image, path, kFormatBmp)) << image.GetLastError();
        return path;
    }
    ImgConvHandle MakeConverter(bool multiPage, int32_t bits, int32_t compression) {
        const ImgConvHandle handle = ImgConvCreate();
        EXPECT_GT(handle, 0);
        ImgConvSetOption(handle, multiPage ? kOptionMultiPagePath : kOptionOutputPath,
                         target.c_str(), 0, 0);
        ImgConvSetOption(handle, kOptionMultiPage, nullptr, multiPage ? 1 : 0, 0);
        ImgConvSetOption(handle, kOptionDepth, nullptr, bits, 0);
        ImgConvSetOption(handle, kOptionCompression, nullptr, compression, 0);
        ImgConvSetOption(handle, kOptionOutputType, nullptr, kOutputTiff, 0);
        ImgConvSetOption(handle, kOptionQuality, nullptr, 95, 0);
        return handle;
    }
    TempDir dir;
    std::string target = dir / "report.tif";
};

}  // namespace

TEST_F(TiffRoutine, MultiPageFileAppearsOnlyWhenDestroyedAndHoldsPagesInOrder) {
    const ImgConvHandle handle = MakeConverter(true, 24, 2);
    for (int page = 1; page <= 3; ++page) ImgConvAddFile(handle, WritePage(page).c_str());
    EXPECT_EQ(ImgConvConvert(handle), 1);
    EXPECT_FALSE(fs::exists(target));  // still under its temporary name
    EXPECT_EQ(ImgConvDestroy(handle), 1);

    ASSERT_TRUE(fs::exists(target));
    const auto pages = ReadPages(target);
    ASSERT_EQ(pages.size(), 3u);
    for (uint16_t n = 1; n <= 3; ++n) {
        EXPECT_EQ(pages[n - 1].width, 30u + n);
        EXPECT_EQ(pages[n - 1].page, n);
        EXPECT_EQ(pages[n - 1].compression, COMPRESSION_JPEG);
        EXPECT_EQ(pages[n - 1].photometric, PHOTOMETRIC_YCBCR);
        EXPECT_NEAR(pages[n - 1].topLeft.r, 230, 6);
        EXPECT_NEAR(pages[n - 1].bottomRight.b, 230, 6);
    }
    // Only the page BMPs and the finished file are left.
    EXPECT_EQ(ListNames(dir.str()).size(), 4u);
}

TEST_F(TiffRoutine, MissingPageIsCountedAndTheOtherPagesStay) {
    const ImgConvHandle handle = MakeConverter(true, 24, 0);
    ImgConvAddFile(handle, WritePage(1).c_str());
    ImgConvAddFile(handle, (dir / "missing.bmp").c_str());
    ImgConvAddFile(handle, WritePage(3).c_str());
    EXPECT_EQ(ImgConvConvert(handle), 0);
    EXPECT_EQ(ImgConvDestroy(handle), 1);
    const auto pages = ReadPages(target);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].width, 31u);
    EXPECT_EQ(pages[1].width, 33u);
    EXPECT_EQ(pages[0].compression, COMPRESSION_NONE);
    // Numbered by their place in the file, not in the list of inputs.
    EXPECT_EQ(pages[0].page, 1);
    EXPECT_EQ(pages[1].page, 2);
    EXPECT_EQ(pages[1].pageName, "Page 2");
}

TEST_F(TiffRoutine, PagesEncodedApartInAnyOrderGiveTheConvertedFile) {
    // The reference: every page added to one handle, converted one after the other.
    std::vector<std::string> inputs = {WritePage(1), WritePage(2), dir / "missing.bmp", WritePage(4),
                                       WritePage(5)};
    for (const auto& [bits, compression] : std::vector<std::pair<int32_t, int32_t>>{{24, 1}, {24, 2}, {1, 2}, {8, 1}}) {
        const ImgConvHandle reference = MakeConverter(true, bits, compression);
        for (const std::string& input : inputs) ImgConvAddFile(reference, input.c_str());
        EXPECT_EQ(ImgConvConvert(reference), 0);
        EXPECT_EQ(ImgConvDestroy(reference), 1);
        const std::string expected = ReadFile(target);
        fs::remove(target);

        // Each page on a handle and thread of its own, the last page first.
        std::vector<std::vector<uint8_t>> encoded(inputs.size());
        std::vector<int> results(inputs.size());
        std::vector<std::thread> threads;
        for (size_t i = inputs.size(); i-- > 0;) {
            threads.emplace_back([&, i] {
                const ImgConvHandle page = MakeConverter(false, bits, compression);
                results[i] = ImgConvEncodeTiffPage(page, inputs[i].c_str(), static_cast<int32_t>(i + 1), encoded[i]);
                ImgConvDestroy(page);
            });
        }
        for (std::thread& thread : threads) thread.join();
        EXPECT_EQ(results, (std::vector<int>{1, 1, 0, 1, 1}));
        const ImgConvHandle document = MakeConverter(true, bits, compression);
        for (size_t i = 0; i < inputs.size(); ++i) {
            if (results[i] == 1) {
                EXPECT_EQ(ImgConvAppendTiffPage(document, encoded[i]), 1);
            }
        }
        EXPECT_EQ(ImgConvDestroy(document), 1);
        EXPECT_TRUE(ReadFile(target) == expected) << "depth " << bits << ", compression " << compression;
        const auto pages = ReadPages(target);
        ASSERT_EQ(pages.size(), 4u);
        for (uint16_t n = 1; n <= 4; ++n) EXPECT_EQ(pages[n - 1].page, n);
        EXPECT_EQ(pages[3].width, 35u);
        fs::remove(target);
    }
}

TEST_F(TiffRoutine, RefusedPageCountsAsFailureAndKeepsTheFile) {
    const ImgConvHandle document = MakeConverter(true, 24, 1);
    std::vector<uint8_t> page;
    const ImgConvHandle pageHandle = MakeConverter(false, 24, 1);
    ASSERT_EQ(ImgConvEncodeTiffPage(pageHandle, WritePage(1).c_str(), 1, page), 1);
    ImgConvDestroy(pageHandle);
    EXPECT_EQ(ImgConvAppendTiffPage(document, page), 1);
    EXPECT_EQ(ImgConvAppendTiffPage(document, std::vector<uint8_t>(page.begin(), page.begin() + 20)), 0);
    std::string why;
    ImgConvLastError(document, why);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(ImgConvDestroy(document), 1);
    EXPECT_EQ(ReadPages(target).size(), 1u);
}

TEST_F(TiffRoutine, NoPageWrittenLeavesNoFile) {
    const ImgConvHandle handle = MakeConverter(true, 24, 2);
    ImgConvAddFile(handle, (dir / "missing.bmp").c_str());
    EXPECT_EQ(ImgConvConvert(handle), 0);
    ImgConvDestroy(handle);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(ListNames(dir.str()).empty());
}

TEST_F(TiffRoutine, SinglePageBlackAndWhiteUsesGroup4) {
    const ImgConvHandle handle = MakeConverter(false, 1, 2);
    ImgConvAddFile(handle, WritePage(1).c_str());
    EXPECT_EQ(ImgConvConvert(handle), 1);
    ImgConvDestroy(handle);
    const auto pages = ReadPages(target);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].compression, COMPRESSION_CCITTFAX4);
    EXPECT_EQ(pages[0].photometric, PHOTOMETRIC_MINISWHITE);
    EXPECT_EQ(pages[0].page, 0);  // no PageNumber
}
