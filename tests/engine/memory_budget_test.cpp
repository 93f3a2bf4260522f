// The engine's memory budget: the counting allocator on its own (limit, reallocation, threads),
// the setting that chooses it, and the real engine on documents whose images declare far more
// pixels than their files hold: the page needing them fails alone, quickly and within bounded
// memory, and the pages around it are written.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <barrier>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <regex>
#include <thread>

#include "engine/runtime/memory_budget.h"
#include "engine_test_support.h"

namespace {

using engine::MemoryBudget;
constexpr uint64_t kHeader = MemoryBudget::kHeaderBytes;
constexpr uint64_t kMiB = 1 << 20;

bool Filled(const void* block, size_t size, unsigned char value) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != value) return false;
    }
    return true;
}

TEST(MemoryBudgetAllocator, CountsLiveBlocksAndRefusesPastTheLimit) {
    MemoryBudget budget(1000);
    void* first = budget.Allocate(100);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % 16, 0u);
    EXPECT_EQ(budget.InUse(), 100 + kHeader);
    std::memset(first, 0xAB, 100);

    const size_t rest = 1000 - (100 + kHeader) - kHeader;  // fills the budget exactly
    EXPECT_EQ(budget.Allocate(rest + 1), nullptr);
    EXPECT_EQ(budget.Refusals(), 1u);
    EXPECT_EQ(budget.InUse(), 100 + kHeader);  // a refusal holds nothing
    void* second = budget.Allocate(rest);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(second) % 16, 0u);
    EXPECT_EQ(budget.InUse(), 1000u);
    EXPECT_EQ(budget.Allocate(0), nullptr);  // even an empty block has its header
    EXPECT_EQ(budget.Allocate(SIZE_MAX), nullptr);

    budget.Release(second);
    EXPECT_TRUE(Filled(first, 100, 0xAB));
    budget.Release(first);
    budget.Release(nullptr);
    EXPECT_EQ(budget.InUse(), 0u);
    EXPECT_EQ(budget.Refusals(), 3u);
}

TEST(MemoryBudgetAllocator, ReallocationCountsOnlyTheChangeAndKeepsTheContents) {
    MemoryBudget budget(4096);
    void* block = budget.Reallocate(nullptr, 200);  // as an allocation
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(budget.InUse(), 200 + kHeader);
    std::memset(block, 0x5C, 200);

    block = budget.Reallocate(block, 3000);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(budget.InUse(), 3000 + kHeader);
    EXPECT_TRUE(Filled(block, 200, 0x5C));
    std::memset(block, 0x3E, 3000);

    // Growing past the limit fails and leaves the block as it was, still counted once.
    EXPECT_EQ(budget.Reallocate(block, 4096), nullptr);
    EXPECT_EQ(budget.InUse(), 3000 + kHeader);
    EXPECT_TRUE(Filled(block, 3000, 0x3E));

    block = budget.Reallocate(block, 50);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(budget.InUse(), 50 + kHeader);
    EXPECT_TRUE(Filled(block, 50, 0x3E));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);

    EXPECT_EQ(budget.Reallocate(block, 0), nullptr);  // as a release
    EXPECT_EQ(budget.InUse(), 0u);
}

// Threads allocating, growing, shrinking and freeing blocks at once, each checking its own
// blocks' contents: the count never passes the limit, and everything is given back. First each
// thread asks for half the limit and holds what it got until every thread has asked: whatever
// the order, two of them get it and the others are refused.
TEST(MemoryBudgetAllocator, ThreadsShareTheLimitAndGiveEverythingBack) {
    constexpr uint64_t kLimit = 256 << 10;
    constexpr unsigned kThreads = 4;
    MemoryBudget budget(kLimit);
    std::atomic<bool> running{true};
    std::atomic<uint64_t> highest{0};
    std::thread watcher([&] {
        while (running) highest = std::max<uint64_t>(highest, budget.InUse());
    });
    std::atomic<int> corrupted{0}, granted{0};
    uint64_t heldTogether = 0, refusedTogether = 0;
    std::barrier allAsked(kThreads, [&]() noexcept {
        heldTogether = budget.InUse();
        refusedTogether = budget.Refusals();
    });
    auto work = [&](unsigned seed) {
        void* half = budget.Allocate(kLimit / 2 - kHeader);
        if (half) ++granted;
        allAsked.arrive_and_wait();
        budget.Release(half);

        std::mt19937 random(seed);
        struct Held {
            unsigned char* data = nullptr;
            size_t size = 0;
            unsigned char mark = 0;
        };
        std::vector<Held> held(16);
        for (int step = 0; step < 40000; ++step) {
            Held& slot = held[random() % held.size()];
            const size_t size = 1 + random() % 8192;
            if (slot.data && !Filled(slot.data, slot.size, slot.mark)) ++corrupted;
            if (!slot.data) {
                slot.data = static_cast<unsigned char*>(budget.Allocate(size));
                if (slot.data) slot.size = size;
            } else if (random() % 3 == 0) {
                budget.Release(slot.data);
                slot = {};
                continue;
            } else if (auto* moved = static_cast<unsigned char*>(budget.Reallocate(slot.data, size))) {
                slot.data = moved;
                slot.size = size;
            } else {
                continue;  // refused: the old block stays, with its contents
            }
            if (slot.data) {
                slot.mark = static_cast<unsigned char>(random());
                std::memset(slot.data, slot.mark, slot.size);
            }
        }
        for (Held& slot : held) budget.Release(slot.data);
    };
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < kThreads; ++i) threads.emplace_back(work, 17 + i);
    for (std::thread& thread : threads) thread.join();
    running = false;
    watcher.join();
    EXPECT_EQ(corrupted, 0);
    EXPECT_LE(highest, kLimit);
    EXPECT_EQ(granted, 2);
    EXPECT_EQ(heldTogether, kLimit);
    EXPECT_EQ(refusedTogether, uint64_t{kThreads - 2});
    EXPECT_EQ(budget.InUse(), 0u);
}

TEST(MemoryBudgetAllocator, RefusalsAreToldApartByThread) {
    MemoryBudget budget(64);
    const uint64_t before = MemoryBudget::RefusalsOnThisThread();
    uint64_t otherBefore = 0, otherAfter = 0;
    std::thread other([&] {
        otherBefore = MemoryBudget::RefusalsOnThisThread();
        EXPECT_EQ(budget.Allocate(1000), nullptr);
        otherAfter = MemoryBudget::RefusalsOnThisThread();
    });
    other.join();
    EXPECT_EQ(otherAfter, otherBefore + 1);
    EXPECT_EQ(MemoryBudget::RefusalsOnThisThread(), before);
    EXPECT_EQ(budget.Allocate(1000), nullptr);
    EXPECT_EQ(MemoryBudget::RefusalsOnThisThread(), before + 1);
    EXPECT_EQ(budget.Refusals(), 2u);
}

TEST(MemoryBudgetSetting, AcceptsOnlyAPositiveNumberOfMebibytes) {
    const uint64_t physical = 8 * 1024 * kMiB;
    std::string warning;
    EXPECT_EQ(engine::ChooseMemoryBudget(nullptr, physical, warning), physical / 2);
    EXPECT_EQ(warning, "");
    EXPECT_EQ(engine::ChooseMemoryBudget("", physical, warning), physical / 2);
    EXPECT_EQ(warning, "");
    EXPECT_EQ(engine::ChooseMemoryBudget("256", physical, warning), 256 * kMiB);
    EXPECT_EQ(warning, "");
    EXPECT_EQ(engine::ChooseMemoryBudget("65536", physical, warning), 65536 * kMiB);  // above physical
    for (const char* bad : {"0", "-5", "12MB", " 12", "1.5", "abc", "99999999999999999999"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(engine::ChooseMemoryBudget(bad, physical, warning), physical / 2);
        EXPECT_NE(warning.find(std::string("XPSCONV_ENGINE_MEMORY=") + bad), std::string::npos)
            << warning;
    }
    // Physical memory unknown: no bound, unless one is set.
    EXPECT_EQ(engine::ChooseMemoryBudget(nullptr, 0, warning), UINT64_MAX);
    EXPECT_EQ(engine::ChooseMemoryBudget("100", 0, warning), 100 * kMiB);
}

TEST(MemoryBudgetSetting, TheCacheNeverTakesMoreThanHalfTheBudget) {
    EXPECT_EQ(engine::StoreLimitFor(256 * kMiB), 128 * kMiB);
    EXPECT_EQ(engine::StoreLimitFor(1 * kMiB), kMiB / 2);
    EXPECT_EQ(engine::StoreLimitFor(8192 * kMiB), 256 * kMiB);  // the library's usual size
    EXPECT_EQ(engine::StoreLimitFor(UINT64_MAX), 256 * kMiB);
}

using namespace enginetest;
using Clock = std::chrono::steady_clock;

#ifndef _WIN32
// Peak resident memory of this process's finished children, in KiB (the engine is the largest).
class PeakChildMemory {
  public:
    explicit PeakChildMemory(const TempDir&) {}
    long KiB() const {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return usage.ru_maxrss;
    }
};
#else
// Windows keeps no peak for finished children. Under Wine the engine is also a Linux process
// (named proc.dll, its arguments naming the test's folder), so a watcher on the Linux side
// samples its peak resident memory, VmHWM, until it ends: the peak as of the last sample, which
// comes at most a few milliseconds before the end. -1 when the engine was never seen.
class PeakChildMemory {
  public:
    explicit PeakChildMemory(const TempDir& dir)
        : result_(dir / "peak-memory"), stop_(dir / "peak-memory-stop") {
        const std::string ready = dir / "peak-memory-ready";
        static constexpr const char* kWatcher = R"sh(
marker=$1; result=$2; stop=$3; ready=$4
exec 3<> <(:)
: > "$ready"
nap() { read -r -t 0.003 -u 3 || true; }
pid=
for try in $(seq 20000); do
  [ -e "$stop" ] && break
  for p in $(pgrep -f -- "$marker"); do
    read -r name < "/proc/$p/comm" 2>/dev/null && [ "$name" = proc.dll ] && pid=$p
  done
  [ -n "$pid" ] && break
  nap
done
peak=-1
while [ -n "$pid" ] && [ -d "/proc/$pid" ] && [ ! -e "$stop" ]; do
  while read -r key value unit; do
    [ "$key" = VmHWM: ] && peak=$value
  done < "/proc/$pid/status" 2>/dev/null
  nap
done
echo "$peak" > "$result.part" && mv "$result.part" "$result"
)sh";
        const ShellResult started =
            RunShell("bash -c " + ShellQuote(kWatcher) + " watcher " +
                     ShellQuote(dir.path().filename().string()) + " " + ShellQuote(result_) + " " +
                     ShellQuote(stop_) + " " + ShellQuote(ready) + " </dev/null >/dev/null 2>&1 &");
        EXPECT_EQ(started.exitCode, 0) << started.err;
        // The engine is started only once the watcher looks for it.
        for (int wait = 0; wait < 5000 && !std::filesystem::exists(ready); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_TRUE(std::filesystem::exists(ready)) << "the watcher did not start";
        std::filesystem::remove(ready);
    }
    // Once the engine has ended.
    long KiB() const {
        WriteFile(stop_, "");
        for (int wait = 0; wait < 5000 && !std::filesystem::exists(result_); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        const std::string text = ReadFile(result_);
        std::filesystem::remove(result_);
        std::filesystem::remove(stop_);
        return text.empty() ? -1 : std::atol(text.c_str());
    }

  private:
    std::string result_, stop_;
};
#endif

// A page needing past 256 MiB through the library stays far below what it would need
// unbounded (2.3 GB to 12 GB for the images here).
constexpr long kPeakBoundKiB = 700 << 10;
constexpr const char* kBudget256 = "XPSCONV_ENGINE_MEMORY=256";
constexpr const char* kOutOfMemory =
    ": page 2: out of memory: the engine's budget of 256 MiB was reached";

class HugeImageTest : public ::testing::Test {
  protected:
    // Page 1 red, page 2 the image (between two green squares), page 3 blue; 96 x 96 units each.
    std::string Document(xpsfixture::ImageFormat format, uint32_t width, uint32_t height) {
        xpsfixture::XpsDocumentBuilder doc;
        doc.AddRect(doc.AddPage(96, 96), 0, 0, 96, 96, 0xFF0000);
        const int page = doc.AddPage(96, 96);
        doc.AddRect(page, 0, 0, 16, 16, 0x00FF00);
        doc.AddImageDeclaring(page, 24, 24, 48, 48, format, width, height);
        doc.AddRect(page, 80, 80, 16, 16, 0x00FF00);
        doc.AddRect(doc.AddPage(96, 96), 0, 0, 96, 96, 0x0000FF);
        const std::string path = dir_ / "huge.xps";
        EXPECT_TRUE(doc.WriteTo(path));
        return path;
    }

    // Runs the engine with a 256 MiB budget; checks that it ended soon and stayed small.
    ShellResult Run(const std::vector<std::string>& arguments) {
        const PeakChildMemory peak(dir_);
        const auto start = Clock::now();
        ShellResult run = RunEngineWith({kBudget256}, arguments, 60);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_LT(seconds, 30.0) << "the engine took " << seconds << " s";
        const long peakKiB = peak.KiB();
        EXPECT_GE(peakKiB, 0) << "the engine's memory was never seen";
        EXPECT_LT(peakKiB, kPeakBoundKiB);
        return run;
    }

    ShellResult RunBitmaps(const std::string& document) {
        return Run({"-sDEVICE=bmp16m", "-r96x96", "-sOutputFile=" + (dir_ / "p_%03d.bmp"),
                    document});
    }

    // Pages 1 and 3 as drawn, and page 2 as far as the image (its first green square).
    void ExpectPagesAround() {
        ExpectColours("p_001.bmp", {{48, 48, 0xFF0000}});
        ExpectColours("p_002.bmp", {{8, 8, 0x00FF00}});
        ExpectColours("p_003.bmp", {{48, 48, 0x0000FF}});
    }

    struct Spot {
        int x, y;
        uint32_t colour;
    };
    void ExpectColours(const std::string& name, const std::vector<Spot>& spots) {
        if (!UseTool("convert")) return;
        DecodedImage page;
        ASSERT_TRUE(DecodeBmp(dir_ / name, dir_.str(), page)) << name;
        for (const Spot& spot : spots) {
            const RgbPixel& got = page.At(spot.x, spot.y);
            EXPECT_TRUE(Near(got, Rgb(spot.colour)))
                << name << " at " << spot.x << "," << spot.y << ": " << int(got.r) << ","
                << int(got.g) << "," << int(got.b);
        }
    }

    TempDir dir_;
};

TEST_F(HugeImageTest, PngPageFailsAloneInBothDevices) {
    const std::string document = Document(xpsfixture::ImageFormat::Png, 20000, 20000);
    ShellResult bitmaps = RunBitmaps(document);
    EXPECT_EQ(bitmaps.exitCode, 1);
    EXPECT_EQ(Lines(bitmaps.err), (std::vector<std::string>{"proc.dll: " + document + kOutOfMemory}));
    EXPECT_EQ(bitmaps.out, "page 1\npage 2\npage 3\n");
    ExpectPagesAround();
    // The image was not drawn, and the page ends there.
    ExpectColours("p_002.bmp", {{48, 48, 0xFFFFFF}, {88, 88, 0xFFFFFF}});

    const std::string pdf = dir_ / "out.pdf";
    ShellResult vector = Run({"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf, document});
    EXPECT_EQ(vector.exitCode, 1);
    EXPECT_EQ(Lines(vector.err), (std::vector<std::string>{"proc.dll: " + document + kOutOfMemory}));
    if (UseTool("pdfinfo")) {
        ShellResult info = RunShell("pdfinfo " + ShellQuote(pdf));
        EXPECT_NE(info.out.find("Pages:           3\n"), std::string::npos) << info.out;
    }
}

// A progressive JPEG is decoded whole before any of it can be drawn. Copied into a PDF, it
// stays compressed as it came: nothing needs decoding, and the page is complete.
TEST_F(HugeImageTest, ProgressiveJpegPageFailsAloneInBitmapsAndIsCopiedIntoPdf) {
    const std::string document =
        Document(xpsfixture::ImageFormat::ProgressiveJpeg, 65500, 65500);
    ShellResult bitmaps = RunBitmaps(document);
    EXPECT_EQ(bitmaps.exitCode, 1);
    EXPECT_EQ(Lines(bitmaps.err), (std::vector<std::string>{"proc.dll: " + document + kOutOfMemory}));
    EXPECT_EQ(bitmaps.out, "page 1\npage 2\npage 3\n");
    ExpectPagesAround();

    const std::string pdf = dir_ / "out.pdf";
    ShellResult vector = Run({"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf, document});
    EXPECT_EQ(vector.exitCode, 0) << vector.err;
    EXPECT_EQ(vector.err, "");
    if (UseTool("pdfimages")) {
        ShellResult images = RunShell("pdfimages -list " + ShellQuote(pdf));
        EXPECT_TRUE(std::regex_search(images.out, std::regex("65500 +65500 +rgb +3 +8 +jpeg ")))
            << images.out;
    }
}

// A baseline JPEG is decoded row by row at a reduced scale: it fits and is drawn.
TEST_F(HugeImageTest, BaselineJpegIsDrawnWithinTheBudget) {
    const std::string document = Document(xpsfixture::ImageFormat::Jpeg, 65500, 65500);
    ShellResult bitmaps = RunBitmaps(document);
    EXPECT_EQ(bitmaps.out, "page 1\npage 2\npage 3\n");
    EXPECT_EQ(bitmaps.err.find("out of memory"), std::string::npos) << bitmaps.err;
    ExpectPagesAround();
    ExpectColours("p_002.bmp", {{88, 88, 0x00FF00}});
}

TEST_F(HugeImageTest, AnUnusableSettingIsReportedOnceAndIgnored) {
    xpsfixture::XpsDocumentBuilder doc;
    doc.AddRect(doc.AddPage(96, 96), 0, 0, 48, 48, 0xFF0000);
    const std::string document = dir_ / "small.xps";
    ASSERT_TRUE(doc.WriteTo(document));
    for (const char* setting : {"lots", "0", "-1"}) {
        SCOPED_TRACE(setting);
        ShellResult run = RunEngineWith(
            {"XPSCONV_ENGINE_MEMORY=" + std::string(setting)},
            {"-sDEVICE=pdfwrite", "-sOutputFile=" + (dir_ / "out.pdf"), document});
        EXPECT_EQ(run.exitCode, 0);
        ASSERT_EQ(Lines(run.err).size(), 1u) << run.err;
        EXPECT_NE(run.err.find("XPSCONV_ENGINE_MEMORY=" + std::string(setting)), std::string::npos)
            << run.err;
    }
}

}  // namespace
