// Why a page failed reaches the caller: each kind of failure gives its own text through
// ImgConvLastError, and a failed output leaves no file behind.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "conversion/failure_text.h"
#include "conversion/image_converter.h"
#include "conversion/output_file.h"
#include "image/ximage.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Set in the child run of the write-limit test, which writes into its working folder.
constexpr char kLimitedRunVariable[] = "XPSCONV_TEST_LIMITED_RUN";

#ifdef _WIN32
// Windows refuses to put a file in a folder's place as a denied access.
constexpr char kFolderInTheWay[] = "Permission denied";
#else
constexpr char kFolderInTheWay[] = "Is a directory";
#endif

// A 24-bit page of noise, so that no encoder can make its file small.
void WriteNoisePage(const std::string& path, uint32_t width, uint32_t height, uint32_t bits = 24) {
    CxImage page;
    ASSERT_NE(page.Create(width, height, bits), nullptr);
    uint32_t state = 12345;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = page.GetBits(y);
        for (uint32_t i = 0; i < page.GetEffWidth(); ++i) {
            state = state * 1103515245u + 12345u;
            row[i] = static_cast<uint8_t>(state >> 16);
        }
    }
    if (bits <= 8) page.SetStdPalette();
    std::string error;
    ASSERT_TRUE(SaveImageFile(page, path, kFormatBmp, error)) << page.GetLastError();
}

void PutLe(std::string& bytes, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i));
}

// A 24-bit BMP of a 600 dpi A2 page (9921 x 14031): a real header, and pixel bytes that are
// only a hole in a sparse file, so the test costs no disk.
void WriteA2At600DpiPage(const std::string& path) {
    const uint32_t width = 9921, height = 14031;
    const uint64_t stride = (uint64_t{width} * 24 + 31) / 32 * 4;
    const uint64_t pixels = stride * height;
    std::string header = "BM";
    PutLe(header, 54 + pixels, 4);
    PutLe(header, 0, 4);
    PutLe(header, 54, 4);
    for (uint64_t field : {uint64_t{40}, uint64_t{width}, uint64_t{height}}) PutLe(header, field, 4);
    PutLe(header, 1, 2);
    PutLe(header, 24, 2);
    for (uint64_t field : {uint64_t{0}, pixels, uint64_t{23622}, uint64_t{23622}, uint64_t{0}, uint64_t{0}}) PutLe(header, field, 4);
    WriteFile(path, header);
    fs::resize_file(path, 54 + pixels);
}

class Converter {
  public:
    Converter(int32_t outputType, const std::string& output, bool multiPage = false) : handle_(ImgConvCreate()) {
        EXPECT_GT(handle_, 0);
        ImgConvSetOption(handle_, multiPage ? kOptionMultiPagePath : kOptionOutputPath, output.c_str(), 0, 0);
        ImgConvSetOption(handle_, kOptionMultiPage, nullptr, multiPage ? 1 : 0, 0);
        ImgConvSetOption(handle_, kOptionOutputType, nullptr, outputType, 0);
    }
    ~Converter() {
        if (handle_ > 0) ImgConvDestroy(handle_);
    }
    ImgConvHandle get() const { return handle_; }
    void Set(int32_t code, int32_t value) { ImgConvSetOption(handle_, code, nullptr, value, 0); }
    void Add(const std::string& page) { ImgConvAddFile(handle_, page.c_str()); }
    std::string LastError() const {
        std::string text = "not asked";
        EXPECT_EQ(ImgConvLastError(handle_, text), 1);
        return text;
    }
    // Converts the one page and returns the failure text (empty when it converted).
    std::string ConvertFailing(const std::string& page) {
        Add(page);
        EXPECT_EQ(ImgConvConvert(handle_), 0) << page;
        return LastError();
    }

  private:
    ImgConvHandle handle_;
};

struct OutputCase {
    int32_t type;
    const char* extension;
};

// Every format routine: the raster ones (colour JPEG and PNG go their own straight way), single
// TIFF, metafiles.
constexpr OutputCase kOutputs[] = {
    {kOutputBmp, ".bmp"}, {kOutputJpeg, ".jpg"}, {kOutputPng, ".png"}, {kOutputGif, ".gif"},
    {kOutputTiff, ".tif"}, {kOutputPcx, ".pcx"}, {kOutputTga, ".tga"}, {kOutputJp2, ".jp2"},
    {kOutputRas, ".ras"}, {kOutputJpc, ".jpc"}, {kOutputEmf, ".emf"}, {kOutputWmf, ".wmf"},
};

// The multi-page way: the page encoded on a handle of its own, the failure text in that handle.
std::string EncodeFailing(const std::string& page) {
    Converter encoder(kOutputTiff, "/unused.tif", true);
    std::vector<uint8_t> bytes{1};
    EXPECT_EQ(ImgConvEncodeTiffPage(encoder.get(), page.c_str(), 3, bytes), 0);
    EXPECT_TRUE(bytes.empty());
    return encoder.LastError();
}

}  // namespace

TEST(PageFailureText, UnreadablePagesSayWhyInEveryFormatRoutine) {
    TempDir dir;
    const std::string notBmp = dir / "doc_001.bmp";
    WriteFile(notBmp, "this page file holds text, not a bitmap");
    const std::string tiny = dir / "doc_002.bmp";
    WriteFile(tiny, "BM");
    const std::string missing = dir / "doc_003.bmp";
    const std::string huge = dir / "doc_004.bmp";
    WriteA2At600DpiPage(huge);

    const std::pair<std::string, std::string> cases[] = {
        {notBmp, "cannot read the page file " + notBmp + ": Error reading BMP info"},
        {tiny, "cannot read the page file " + tiny + ": Not a BMP"},
        {missing, "cannot read the page file " + missing + ": No such file or directory"},
        {huge, "cannot read the page file " + huge + ": CXIMAGE_MAX_MEMORY exceeded"},
    };
    for (const auto& [page, expected] : cases) {
        for (const OutputCase& output : kOutputs) {
            // A 600 dpi colour JPEG or PNG page never needs the whole page in memory: it is converted.
            if (page == huge && (output.type == kOutputJpeg || output.type == kOutputPng)) continue;
            const std::string target = dir / (std::string("out") + output.extension);
            Converter converter(output.type, target);
            EXPECT_EQ(converter.ConvertFailing(page), expected) << output.extension;
            EXPECT_FALSE(fs::exists(target)) << output.extension;
        }
        EXPECT_EQ(EncodeFailing(page), expected);
    }
    // Nothing but the page files is left in the folder.
    EXPECT_EQ(ListNames(dir.str()),
              (std::vector<std::string>{"doc_001.bmp", "doc_002.bmp", "doc_004.bmp"}));
}

TEST(PageFailureText, OutputsThatCannotBeMadeOrPutInPlace) {
    TempDir dir;
    const std::string page = dir / "doc_001.bmp";
    WriteNoisePage(page, 30, 20);

    for (const OutputCase& output : kOutputs) {
        const std::string target = (dir.path() / "gone" / (std::string("doc_001") + output.extension)).string();
        Converter converter(output.type, target);
        EXPECT_EQ(converter.ConvertFailing(page), "cannot create " + target + ": No such file or directory")
            << output.extension;

        // A folder where the file should go: the finished file cannot take its name.
        const std::string blocked = dir / (std::string("blocked") + output.extension);
        fs::create_directories(fs::path(blocked) / "inside");
        Converter renaming(output.type, blocked);
        EXPECT_EQ(renaming.ConvertFailing(page),
                  "cannot rename the finished file to " + blocked + ": " + kFolderInTheWay)
            << output.extension;
        EXPECT_TRUE(fs::is_directory(blocked));
    }
    EXPECT_EQ(ListNames(dir.str()), std::vector<std::string>{"doc_001.bmp"});
}

// The finished multi-page file cannot take its name: its folder vanished (POSIX), or a reader
// holds the name open (Windows, which keeps a folder while a file in it is open).
TEST(PageFailureText, MultiPageFileThatCannotTakeItsName) {
    TempDir dir;
    const std::string page = dir / "doc_001.bmp";
    WriteNoisePage(page, 30, 20);
    const fs::path folder = dir.path() / "out";
    fs::create_directories(folder);
    const std::string target = (folder / "doc.tif").string();

    Converter document(kOutputTiff, target, true);
    Converter encoder(kOutputTiff, target, true);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(ImgConvEncodeTiffPage(encoder.get(), page.c_str(), 1, bytes), 1);
    EXPECT_EQ(encoder.LastError(), "");
    ASSERT_EQ(ImgConvAppendTiffPage(document.get(), bytes), 1);
#ifdef _WIN32
    WriteFile(target, "held");
    std::ifstream holder(target, std::ios::binary);
    ASSERT_TRUE(holder.good());
    const std::string reason = "Permission denied";
#else
    fs::remove_all(folder);
    const std::string reason = "No such file or directory";
#endif
    EXPECT_EQ(ImgConvFinishMultiPage(document.get()), 0);
    EXPECT_EQ(document.LastError(), "cannot rename the finished file to " + target + ": " + reason);
#ifdef _WIN32
    // The held file is untouched and the finished one was removed with nothing left beside it.
    holder.close();
    EXPECT_EQ(ReadFile(target), "held");
    EXPECT_EQ(ListNames(folder.string()), std::vector<std::string>{"doc.tif"});
#endif
    // Nothing is left to finish.
    EXPECT_EQ(ImgConvFinishMultiPage(document.get()), 1);
    EXPECT_EQ(document.LastError(), "");

    // A page that is not a TIFF is refused, and says so.
    Converter refusing(kOutputTiff, dir / "refused.tif", true);
    EXPECT_EQ(ImgConvAppendTiffPage(refusing.get(), {'n', 'o', 't', ' ', 'a', ' ', 'T', 'I', 'F', 'F'}), 0);
    EXPECT_EQ(refusing.LastError(), "cannot append the page to " + (dir / "refused.tif") + ": page is not a TIFF");
}

TEST(PageFailureText, PreparationAndWriterRefusals) {
    TempDir dir;
    const std::string page = dir / "doc_001.bmp";
    WriteNoisePage(page, 30, 20);

    // A resize the memory limit refuses fails the page instead of writing it at its old size.
    for (const OutputCase& output : {OutputCase{kOutputPng, ".png"}, OutputCase{kOutputTiff, ".tif"}}) {
        const std::string target = dir / (std::string("big") + output.extension);
        Converter converter(output.type, target);
        converter.Set(kOptionWidth, 20000);
        converter.Set(kOptionHeight, 20000);
        EXPECT_EQ(converter.ConvertFailing(page),
                  "cannot resize the page to 20000 x 20000 pixels: CXIMAGE_MAX_MEMORY exceeded");
        EXPECT_FALSE(fs::exists(target));
    }

    // A 4-bit page is not a depth the JPEG and TGA writers take.
    const std::string fourBit = dir / "doc_002.bmp";
    WriteNoisePage(fourBit, 30, 20, 4);
    Converter jpeg(kOutputJpeg, dir / "doc_002.jpg");
    EXPECT_EQ(jpeg.ConvertFailing(fourBit), "the JPEG writer failed: JPEG can save only RGB or GreyScale images");
    Converter tga(kOutputTga, dir / "doc_002.tga");
    EXPECT_EQ(tga.ConvertFailing(fourBit), "the TGA writer failed: Bit depth must be 8 or 24");
    EXPECT_EQ(ListNames(dir.str()), (std::vector<std::string>{"doc_001.bmp", "doc_002.bmp"}));
}

TEST(PageFailureText, TextBelongsToItsHandleAndItsLatestCall) {
    TempDir dir;
    const std::string good = dir / "doc_001.bmp";
    WriteNoisePage(good, 30, 20);
    const std::string bad = dir / "doc_002.bmp";

    std::string text = "stale";
    EXPECT_EQ(ImgConvLastError(0, text), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(ImgConvLastError(INT32_MAX, text), 0);

    // Pages encoded at once on several handles: each failure stays with its own handle.
    std::vector<std::string> texts(8);
    std::vector<int> results(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < texts.size(); ++i) {
        threads.emplace_back([&, i] {
            const ImgConvHandle handle = ImgConvCreate();
            ImgConvSetOption(handle, kOptionOutputType, nullptr, kOutputTiff, 0);
            std::vector<uint8_t> bytes;
            results[i] = ImgConvEncodeTiffPage(handle, (i % 2 ? bad : good).c_str(), 1, bytes);
            ImgConvLastError(handle, texts[i]);
            ImgConvDestroy(handle);
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(results[i], i % 2 ? 0 : 1);
        EXPECT_EQ(texts[i], i % 2 ? "cannot read the page file " + bad + ": No such file or directory" : "");
    }

    // A multi-page convert keeps the text of its failed page; the next call starts afresh.
    Converter document(kOutputTiff, dir / "doc.tif", true);
    document.Add(good);
    document.Add(bad);
    document.Add(good);
    EXPECT_EQ(ImgConvConvert(document.get()), 0);
    EXPECT_EQ(document.LastError(), "cannot read the page file " + bad + ": No such file or directory");
    EXPECT_EQ(ImgConvFinishMultiPage(document.get()), 1);
    EXPECT_EQ(document.LastError(), "");
    EXPECT_TRUE(fs::exists(dir / "doc.tif"));
}

TEST(PageFailureText, LongPathsGiveWayToTheReason) {
    const std::string folder = "/" + std::string(240, 'f');
    const std::string text = FailureText("cannot write", folder + "/doc_001.png", "No space left on device");
    EXPECT_EQ(text, "cannot write doc_001.png: No space left on device");
    const std::string cut = FailureText("cannot write", "/x/" + std::string(300, 'n'), "why");
    EXPECT_EQ(cut.size(), 255u);
    EXPECT_EQ(SystemErrorText(0), "unknown error");
}

namespace {

// The system's words for a write beyond the limit, from a plain C library write.
std::string RefusedWriteWords(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return "cannot open " + path;
    const std::vector<char> block(1 << 20, 'x');
    errno = 0;
    int error = 0;
    if (std::fwrite(block.data(), 1, block.size(), file) != block.size() || std::fflush(file) != 0) error = errno;
    std::fclose(file);
    std::remove(path.c_str());
    return SystemErrorText(error);
}

}  // namespace

// A write that the system refuses (here the file-size limit, which fails a write the way a full
// disk does, with no privileges needed) is noticed by every writer: the output fails with the
// system's words and no file, short or temporary, is left. The limit is set in a child run of
// this same test, since it holds for the whole process. It is chosen so that the metafile
// recorder's one large write still fits and only its last bytes, written when it closes the
// file, are refused: a close whose failure the recorder does not report.
// Windows has no such limit, and a full disk needs a volume of its own; under Wine the Linux
// limit holds for the Windows program's writes, so its child run is started under it from the
// Linux side.
TEST(PageFailureText, FailedWritesAreNoticedAndLeaveNoFile) {
    if (std::getenv(kLimitedRunVariable) == nullptr) {
        TempDir dir;
        WriteNoisePage(dir / "doc_001.bmp", 400, 400);
        WriteNoisePage(dir / "doc_002.bmp", 400, 400);
        WriteNoisePage(dir / "doc_003.bmp", 30, 20);
        WriteNoisePage(dir / "doc_004.bmp", 200, 165);
        // What the metafiles of page 4 come to without a limit.
        TempDir probe;
        uint64_t limit = 0;
        for (const OutputCase& output : {OutputCase{kOutputEmf, ".emf"}, OutputCase{kOutputWmf, ".wmf"}}) {
            const std::string target = probe / (std::string("doc_004") + output.extension);
            Converter converter(output.type, target);
            converter.Add(dir / "doc_004.bmp");
            ASSERT_EQ(ImgConvConvert(converter.get()), 1);
            const uint64_t size = fs::file_size(target);
            const uint64_t whole = size / 4096 * 4096;
            ASSERT_NE(size % 4096, 0u);
            ASSERT_TRUE(limit == 0 || limit == whole) << "both metafiles must end past the same limit";
            limit = whole;
        }
        const std::string setUp = " && cd " + ShellQuote(dir.str()) + " && export " + kLimitedRunVariable +
                                  "=1 && exec ";
        const std::string program = ShellQuote(platform::ProgramFolder() + ProgramFile("test_conversion")) +
                                    " --gtest_filter=PageFailureText.FailedWritesAreNoticedAndLeaveNoFile";
        // Writes beyond the limit fail with EFBIG once the signal they raise is ignored.
#ifdef _WIN32
        // GDI writes a metafile in one piece when it closes, and under Wine a write that crosses
        // the limit stops short without an error: nothing may be written, so that every write is
        // refused outright, as on a full disk. The child's report comes through a pipe, which the
        // limit does not hold for.
        const ShellResult run = RunShell("trap '' XFSZ; { (ulimit -f 0" + setUp + "wine " + program +
                                         ") 2>&1; echo \"child exit $?\"; } | cat");
        EXPECT_NE(run.out.find("child exit 0"), std::string::npos) << run.out << run.err;
#else
        const ShellResult run = RunShell("trap '' XFSZ; ulimit -f " + std::to_string(limit / 512) + setUp + program);
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
#endif
        EXPECT_NE(run.out.find("[  PASSED  ] 1 test"), std::string::npos) << run.out;
        EXPECT_EQ(ListNames(dir.str()),
                  (std::vector<std::string>{"doc_001.bmp", "doc_002.bmp", "doc_003.bmp", "doc_004.bmp"}));
        return;
    }

    const fs::path folder = fs::current_path();
    const auto in = [&](const std::string& name) { return (folder / name).string(); };
    const std::string words = RefusedWriteWords(in("probe"));
#ifdef _WIN32
    // Under Wine the limit's EFBIG has no Windows error of its own: the C runtime and the metafile
    // layer name the generic failure it becomes each in their own words.
    const auto expectRefused = [&](const std::string& text, const std::string& target, bool metafile) {
        const std::string lead = "cannot write " + target + ": ";
        if (metafile) {
            EXPECT_EQ(text.substr(0, lead.size()), lead);
            EXPECT_GT(text.size(), lead.size());
            EXPECT_EQ(text.find("unknown error"), std::string::npos) << text;
        } else {
            EXPECT_EQ(text, lead + words);
        }
    };
#else
    EXPECT_EQ(words, "File too large");
    const auto expectRefused = [&](const std::string& text, const std::string& target, bool) {
        EXPECT_EQ(text, "cannot write " + target + ": " + words);
    };
#endif
    const std::string page = in("doc_001.bmp");
    for (const OutputCase& output : kOutputs) {
        const std::string target = in(std::string("out_001") + output.extension);
        Converter converter(output.type, target);
        converter.Set(kOptionCompression, 0);  // an uncompressed TIFF
        converter.Set(kOptionQuality, 100);
        SCOPED_TRACE(output.extension);
        expectRefused(converter.ConvertFailing(page), target,
                      output.type == kOutputEmf || output.type == kOutputWmf);
        EXPECT_FALSE(fs::exists(target));
    }

    // A small page goes in, the large one after it fails to: the file would be short, so it is
    // not made.
    for (const OutputCase& output : {OutputCase{kOutputEmf, ".emf"}, OutputCase{kOutputWmf, ".wmf"}}) {
        const std::string target = in(std::string("out_004") + output.extension);
        Converter converter(output.type, target);
        SCOPED_TRACE(output.extension);
        expectRefused(converter.ConvertFailing(in("doc_004.bmp")), target, true);
        EXPECT_FALSE(fs::exists(target));
    }

    const std::string target = in("doc.tif");
    Converter document(kOutputTiff, target, true);
    document.Set(kOptionCompression, 0);
    document.Add(in("doc_003.bmp"));
    document.Add(page);
    EXPECT_EQ(ImgConvConvert(document.get()), 0);
    expectRefused(document.LastError(), target, false);
    EXPECT_EQ(ImgConvFinishMultiPage(document.get()), 0);
    expectRefused(document.LastError(), target, false);
    EXPECT_FALSE(fs::exists(target));
}

TEST(PageFailureText, SavedImagesAreWrittenAtomically) {
    std::string error;
    TempDir dir;
    const std::string target = dir / "page.bmp";
    CxImage image;
    ASSERT_NE(image.Create(2, 2, 24), nullptr);
    image.Clear(0x80);
    ASSERT_TRUE(SaveImageFile(image, target, kFormatBmp, error));
    const std::string good = ReadFile(target);
    EXPECT_EQ(good.size(), 54u + 16u);
    EXPECT_EQ(ListNames(dir.str()), std::vector<std::string>{"page.bmp"});

    // An encoder failure (empty image, format without writer) keeps the older file intact and
    // leaves no temporary file behind.
    CxImage empty;
    EXPECT_FALSE(SaveImageFile(empty, target, kFormatBmp, error));
    EXPECT_FALSE(SaveImageFile(image, target, 5, error));
    EXPECT_EQ(ReadFile(target), good);
    EXPECT_EQ(ListNames(dir.str()), std::vector<std::string>{"page.bmp"});

    // A failed save to a new name leaves no file at all.
    EXPECT_FALSE(SaveImageFile(empty, dir / "new.bmp", kFormatBmp, error));
    EXPECT_EQ(ListNames(dir.str()), std::vector<std::string>{"page.bmp"});
    // A folder that does not exist.
    EXPECT_FALSE(SaveImageFile(image, dir / "missing/page.bmp", kFormatBmp, error));
    EXPECT_FALSE(SaveImageFile(image, "", kFormatBmp, error));
}
