#include "engine/pdf/pdf_stream_compression.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "engine/runtime/mupdf_guard.h"
#include "engine/runtime/worker_threads.h"

namespace engine {
namespace {

// zlib's quick levels (1 to 3) skip the lazy match search, which costs a sixth of the bytes
// of page content and images. Page content, the bulk of vector pages, is deflated at 5: within
// a few per cent of 6 at about half its time. Images and font programs, smaller and costlier per
// byte stored, take 6, or 9 up to a MiB: there its longer match search finds a tenth more of
// the repeats of drawn pictures and screenshots in a few milliseconds, where on large
// photographs it would double a document's time for a few per cent.
constexpr int kContentLevel = 5;
constexpr int kDataLevel = 6;
constexpr int kSmallDataLevel = 9;
constexpr size_t kSmallDataBytes = 1 << 20;
// Streams are read out and deflated in batches of about this many bytes, so the copies held
// at once stay small next to the document itself.
constexpr size_t kBatchBytes = 32 << 20;

// One stream of the batch: its bytes as stored, then deflated when that made them smaller.
struct StreamWork {
    int num = 0;
    int level = kContentLevel;
    fz_buffer* raw = nullptr;
    std::vector<unsigned char> deflated;
};

// Pure zlib on private buffers: safe on any thread. deflated stays empty when deflating does
// not make the data smaller.
void DeflateBytes(const unsigned char* data, size_t length, int level,
                  std::vector<unsigned char>& deflated) {
    deflated.clear();
    if (length == 0 || length > std::numeric_limits<uLong>::max()) return;
    if (level == kDataLevel && length <= kSmallDataBytes) level = kSmallDataLevel;
    uLongf written = compressBound(static_cast<uLong>(length));
    deflated.resize(written);
    if (compress2(deflated.data(), &written, data, static_cast<uLong>(length), level) !=
            Z_OK ||
        written >= length) {
        deflated.clear();
        return;
    }
    deflated.resize(written);
}

void Deflate(fz_context* ctx, StreamWork& work) {
    unsigned char* data = nullptr;
    const size_t length = fz_buffer_storage(ctx, work.raw, &data);
    DeflateBytes(data, length, work.level, work.deflated);
}

// Deflates the batch on every core; the streams do not depend on each other.
void DeflateAll(fz_context* ctx, std::vector<StreamWork>& batch) {
    if (batch.empty()) return;
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < batch.size(); i = next++) Deflate(ctx, batch[i]);
    };
    const size_t helpers =
        std::min<size_t>(WorkerThreads(), batch.size()) - 1;
    std::vector<std::thread> threads;
    for (size_t i = 0; i < helpers; ++i) {
        try {
            threads.emplace_back(work);
        } catch (...) {
            break;  // fewer helpers: this thread does the rest
        }
    }
    work();
    for (std::thread& thread : threads) thread.join();
}

void DropBatch(fz_context* ctx, std::vector<StreamWork>& batch) {
    for (StreamWork& work : batch) fz_drop_buffer(ctx, work.raw);
    batch.clear();
}

void ReplaceDeflated(fz_context* ctx, pdf_document* doc, int num,
                     const std::vector<unsigned char>& deflated) {
    if (deflated.empty()) return;
    pdf_obj* ref = pdf_new_indirect(ctx, doc, num, 0);
    fz_buffer* compressed = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            compressed = fz_new_buffer_from_copied_data(ctx, deflated.data(), deflated.size());
            pdf_dict_put(ctx, ref, PDF_NAME(Filter), PDF_NAME(FlateDecode));
            pdf_update_stream(ctx, doc, ref, compressed, 1);
        },
        [&] {
            fz_drop_buffer(ctx, compressed);
            pdf_drop_obj(ctx, ref);
        });
}

// Deflates the batch and puts the results in. False when the library failed.
bool FinishBatch(fz_context* ctx, pdf_document* doc, std::vector<StreamWork>& batch) {
    DeflateAll(ctx, batch);
    bool ok = true;
    for (StreamWork& work : batch) {
        fz_drop_buffer(ctx, work.raw);
        work.raw = nullptr;
        if (ok)
            ok = RunGuarded(ctx, [&] {
                     ReplaceDeflated(ctx, doc, work.num, work.deflated);
                 }).empty();
        work.deflated = {};
    }
    batch.clear();
    return ok;
}

// The level to deflate stream num at, or 0 when it is no stream or already has a filter.
int UnfilteredStreamLevel(fz_context* ctx, pdf_document* doc, int num) {
    if (!pdf_obj_num_is_stream(ctx, doc, num)) return 0;
    pdf_obj* ref = pdf_new_indirect(ctx, doc, num, 0);
    int level = 0;
    RunWithCleanup(
        ctx,
        [&] {
            if (pdf_dict_get(ctx, ref, PDF_NAME(Filter))) return;
            const bool data = pdf_name_eq(ctx, pdf_dict_get(ctx, ref, PDF_NAME(Subtype)),
                                          PDF_NAME(Image)) ||
                              pdf_dict_get(ctx, ref, PDF_NAME(Length1));
            level = data ? kDataLevel : kContentLevel;
        },
        [&] { pdf_drop_obj(ctx, ref); });
    return level;
}

// An unfiltered stream's bytes as stored, copied into bytes; false when num is no such stream.
// Library errors are caught here: nothing is jumped over on their way.
bool CopyUnfilteredStream(fz_context* ctx, pdf_document* doc, int num,
                          std::vector<unsigned char>& bytes, int& level, bool& failed) {
    fz_buffer* raw = nullptr;
    failed = false;
    failed = !RunGuarded(ctx, [&] {
                  level = UnfilteredStreamLevel(ctx, doc, num);
                  if (level) raw = pdf_load_raw_stream_number(ctx, doc, num);
              }).empty();
    if (!raw) return false;
    unsigned char* data = nullptr;
    const size_t length = fz_buffer_storage(ctx, raw, &data);
    bool copied = true;
    try {
        bytes.assign(data, data + length);
    } catch (...) {
        copied = false;
        failed = true;
    }
    fz_drop_buffer(ctx, raw);
    return copied;
}

// Deflates every stream of doc that has no filter yet, where that makes it smaller. The
// streams are read in the library's try block and batched outside it. False when the library
// failed.
bool DeflateUnfilteredStreams(fz_context* ctx, pdf_document* doc) {
    int count = 0;
    bool ok = RunGuarded(ctx, [&] { count = pdf_xref_len(ctx, doc); }).empty();
    std::vector<StreamWork> batch;
    size_t batchBytes = 0;
    for (int num = 1; ok && num < count; ++num) {
        int level = 0;
        ok = RunGuarded(ctx, [&] { level = UnfilteredStreamLevel(ctx, doc, num); }).empty();
        if (!ok || !level) continue;
        batch.push_back(StreamWork{num, level, nullptr, {}});
        fz_buffer** raw = &batch.back().raw;
        ok = RunGuarded(ctx, [&] {
                 *raw = pdf_load_raw_stream_number(ctx, doc, num);
                 batchBytes += fz_buffer_storage(ctx, *raw, nullptr);
             }).empty();
        if (ok && batchBytes >= kBatchBytes) {
            ok = FinishBatch(ctx, doc, batch);
            batchBytes = 0;
        }
    }
    if (ok) ok = FinishBatch(ctx, doc, batch);
    DropBatch(ctx, batch);
    return ok;
}

}  // namespace

BackgroundStreamDeflater::BackgroundStreamDeflater(fz_context* ctx, pdf_document* doc)
    : ctx_(ctx), doc_(doc) {
    if (WorkerThreads() < 2) return;  // one thread allowed: deflate at the end instead
    try {
        worker_ = std::thread(&BackgroundStreamDeflater::Serve, this);
    } catch (...) {
    }
}

BackgroundStreamDeflater::~BackgroundStreamDeflater() { Stop(); }

void BackgroundStreamDeflater::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_.clear();
    }
    queued_.notify_all();
    if (worker_.joinable()) worker_.join();
    all_.clear();
}

void BackgroundStreamDeflater::Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
        if (pending_.empty()) return;  // stopping, and nothing is left
        Work* work = pending_.front();
        pending_.pop_front();
        ++inProgress_;
        lock.unlock();
        DeflateBytes(work->raw.data(), work->raw.size(), work->level, work->deflated);
        lock.lock();
        work->done = true;
        --inProgress_;
        finished_.notify_all();
    }
}

bool BackgroundStreamDeflater::PutInDeflated() {
    std::vector<Work*> done;
    {
        std::lock_guard lock(mutex_);
        for (const std::unique_ptr<Work>& work : all_)
            if (work->done) done.push_back(work.get());
    }
    bool ok = true;
    std::vector<unsigned char> current;
    for (Work* work : done) {
        bool failed = false;
        int level = 0;
        // Only a stream that still holds the bytes that were deflated takes the result.
        if (ok && !work->deflated.empty() &&
            CopyUnfilteredStream(ctx_, doc_, work->num, current, level, failed) &&
            current == work->raw) {
            ok = RunGuarded(ctx_, [&] {
                     ReplaceDeflated(ctx_, doc_, work->num, work->deflated);
                 }).empty();
        }
        if (failed) ok = false;
    }
    // The copies go as soon as their result is in: the document then holds the deflated bytes.
    std::lock_guard lock(mutex_);
    std::erase_if(all_, [](const std::unique_ptr<Work>& work) { return work->done; });
    return ok;
}

std::string BackgroundStreamDeflater::TakeNewStreams() {
    if (!worker_.joinable()) return {};
    if (!PutInDeflated()) return CaughtMessage(ctx_);
    int count = 0;
    std::string error = RunGuarded(ctx_, [&] { count = pdf_xref_len(ctx_, doc_); });
    if (!error.empty()) return error;
    for (; scannedUpTo_ < count; ++scannedUpTo_) {
        auto work = std::make_unique<Work>();
        bool failed = false;
        if (!CopyUnfilteredStream(ctx_, doc_, scannedUpTo_, work->raw, work->level, failed)) {
            if (failed) return CaughtMessage(ctx_);
            continue;
        }
        work->num = scannedUpTo_;
        std::lock_guard lock(mutex_);
        pending_.push_back(work.get());
        all_.push_back(std::move(work));
        queued_.notify_one();
    }
    return {};
}

std::string BackgroundStreamDeflater::Finish() {
    {
        // This thread takes its share of what is still queued.
        std::unique_lock lock(mutex_);
        while (!pending_.empty()) {
            Work* work = pending_.front();
            pending_.pop_front();
            lock.unlock();
            DeflateBytes(work->raw.data(), work->raw.size(), work->level, work->deflated);
            lock.lock();
            work->done = true;
        }
        finished_.wait(lock, [&] { return inProgress_ == 0; });
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    if (worker_.joinable()) worker_.join();
    bool ok = PutInDeflated();
    all_.clear();
    if (!ok || !DeflateUnfilteredStreams(ctx_, doc_)) return CaughtMessage(ctx_);
    return {};
}

}  // namespace engine
