#include "engine/raster/raster_output.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/runtime/output_files.h"
#include "engine/raster/page_backlog.h"
#include "engine/raster/page_image.h"
#include "engine/raster/page_recording.h"
#include "engine/runtime/engine_errors.h"
#include "engine/runtime/library_messages.h"
#include "engine/runtime/worker_threads.h"
#include "engine/xps/xps_source.h"

namespace engine {
namespace {

// One page from its recording until its outcome is reported.
struct PageJob {
    int number = 0;
    std::string path;
    std::unique_ptr<PageRecording> recording;  // dropped once the page is drawn
    std::string recordingError;                // why the page could not be read completely
    PageImageResult result;
    PageMessages messages;  // what the library said while reading and drawing the page
    bool done = false;
};

// Loads and records the page of job on the document's context. fallback is the size used for
// a page that cannot be measured; on return it holds this page's size.
void RecordPage(fz_context* ctx, fz_document* doc, int pageCount, const EngineOptions& options,
                fz_rect& fallback, int index, PageJob& job) {
    job.number = index + 1;
    job.path = PageFileName(options.outputFile, job.number, pageCount);
    PageMessageScope scope(ctx, job.messages);
    job.recording = std::make_unique<PageRecording>(ctx, doc, index, fallback);
    fallback = job.recording->Bounds();
    if (job.recording->Failed()) job.recordingError = job.recording->Error();
}

// Draws the recorded page of job into its file on ctx, this thread's context.
void DrawPage(fz_context* ctx, const EngineOptions& options, PageJob& job, BandMemory& memory) {
    PageMessageScope scope(ctx, job.messages);
    job.result = WritePageImage(ctx, *job.recording, options, job.path, memory);
}

// Reports a finished page: what the library said about it, then why it is incomplete. False
// when its file could not be written: nothing more can be written where this page could not be.
bool ReportPage(fz_context* ctx, const LibraryMessages& messages, const PageJob& job,
                bool& allGood) {
    messages.ReportPage(job.number, job.messages);
    if (!job.result.written) {
        ReportError(job.result.error);
        allGood = false;
        return false;
    }
    // A page short of memory may have lost only what the library skipped, without an error.
    std::string failure = MemoryFailureOf(ctx, job.messages);
    if (failure.empty() && !job.recordingError.empty()) failure = job.recordingError;
    if (failure.empty() && !job.result.rendered) {
        failure =
            job.result.renderError.empty() ? "the page could not be drawn" : job.result.renderError;
    }
    if (!failure.empty()) {
        ReportPageError(messages.DocumentPath(), job.number, failure);
        allGood = false;
    }
    // What the page lost has been said; the page is still incomplete.
    if (job.messages.LostContent()) allGood = false;
    ReportPageDone(job.number);
    return true;
}

// Why the engine ends early: with nobody reading its output, nobody will take its pages.
void ReportNobodyTakesPages() {
    ReportError("standard output is closed: nobody takes the page files");
}

// Waits until the backlog has room for the next page; false when nobody reads our output.
bool WaitForRoom(PageBacklog& backlog) {
    while (!backlog.RoomForPage(0)) {
        if (!backlog.KeepAlive()) {
            ReportNobodyTakesPages();
            return false;
        }
        backlog.WaitForTaken();
    }
    return true;
}

bool WriteOneAfterAnother(fz_context* ctx, fz_document* doc, int pageCount,
                          const EngineOptions& options, const LibraryMessages& messages,
                          PageBacklog& backlog) {
    bool allGood = true;
    fz_rect fallback = kFallbackPageBounds;
    BandMemory memory;
    for (int index = 0; index < pageCount; ++index) {
        if (!WaitForRoom(backlog)) return false;
        PageJob job;
        RecordPage(ctx, doc, pageCount, options, fallback, index, job);
        DrawPage(ctx, options, job, memory);
        if (!ReportPage(ctx, messages, job, allGood)) return false;
        backlog.PageWritten(job.number);
    }
    return allGood;
}

// The document can only be read on one thread, so this thread records the pages in order and
// worker threads, each with its own context, draw them, taking the next page as they become
// free. So that memory stays bounded, at most one page more than there are workers is
// recorded and not yet drawn. A page is recorded only when the backlog has room for it, counting
// the pages still being drawn, so the page files in the folder never exceed the backlog.
class ParallelPageWriter {
  public:
    ParallelPageWriter(fz_context* ctx, fz_document* doc, int pageCount,
                       const EngineOptions& options, const LibraryMessages& messages,
                       PageBacklog& backlog)
        : ctx_(ctx),
          doc_(doc),
          options_(options),
          messages_(messages),
          backlog_(backlog),
          jobs_(static_cast<size_t>(pageCount)) {}

    // False when no worker could be started; nothing has been written then.
    bool Start(int threads) {
        // A page taken may make room: the recording thread looks again at once.
        backlog_.OnTaken([this] {
            std::lock_guard lock(mutex_);
            pageDrawn_.notify_one();
        });
        for (int i = 0; i < threads; ++i) {
            fz_context* worker = CloneEngineContext(ctx_);
            if (!worker) break;
            try {
                threads_.emplace_back(&ParallelPageWriter::Work, this, worker);
            } catch (...) {
                fz_drop_context(worker);
                break;
            }
            contexts_.push_back(worker);
        }
        return !threads_.empty();
    }

    // Records and hands out every page, reports each in page order; returns as
    // WritePageBitmaps does.
    bool Run() {
        bool allGood = true;
        fz_rect fallback = kFallbackPageBounds;
        const int pageCount = static_cast<int>(jobs_.size());
        const int lookAhead = static_cast<int>(threads_.size()) + 1;
        int reported = 0;
        std::unique_lock lock(mutex_);
        while (reported < pageCount) {
            DropDrawnRecordings(reported);
            PageJob& next = jobs_[static_cast<size_t>(reported)];
            if (reported < recorded_ && next.done) {
                lock.unlock();
                bool more = ReportPage(ctx_, messages_, next, allGood);
                lock.lock();
                ++reported;
                if (!more) {
                    stop_ = true;
                    break;
                }
                backlog_.PageWritten(next.number);
            } else if (recorded_ < pageCount && recorded_ - drawn_ < lookAhead &&
                       !backlog_.RoomForPage(recorded_ - reported)) {
                // Too many pages wait to be taken: look again once one is taken or a page
                // finishes meanwhile (its announcement lets the consumer take it).
                if (!backlog_.KeepAlive()) {
                    ReportNobodyTakesPages();
                    allGood = false;
                    stop_ = true;
                    break;
                }
                pageDrawn_.wait_until(lock, backlog_.NextLook());
            } else if (recorded_ < pageCount && recorded_ - drawn_ < lookAhead) {
                const int index = recorded_;
                lock.unlock();
                RecordPage(ctx_, doc_, pageCount, options_, fallback, index,
                           jobs_[static_cast<size_t>(index)]);
                lock.lock();
                ++recorded_;
                if (recorded_ == pageCount) {
                    workAvailable_.notify_all();  // idle workers can stop waiting
                } else {
                    workAvailable_.notify_one();
                }
            } else {
                pageDrawn_.wait(lock);
            }
        }
        lock.unlock();
        Finish();
        return allGood;
    }

    ~ParallelPageWriter() { Finish(); }

  private:
    void Work(fz_context* ctx) {
        BandMemory memory;
        std::unique_lock lock(mutex_);
        for (;;) {
            workAvailable_.wait(lock, [&] {
                return stop_ || taken_ < recorded_ || recorded_ == static_cast<int>(jobs_.size());
            });
            if (stop_ || taken_ == recorded_) return;
            PageJob& job = jobs_[static_cast<size_t>(taken_++)];
            lock.unlock();
            // The job is this thread's alone until it is marked done.
            DrawPage(ctx, options_, job, memory);
            lock.lock();
            job.done = true;
            ++drawn_;
            pageDrawn_.notify_one();
        }
    }

    // Recordings are dropped on the context that made them, as soon as their page is drawn.
    void DropDrawnRecordings(int from) {
        for (int i = from; i < recorded_; ++i) {
            PageJob& job = jobs_[static_cast<size_t>(i)];
            if (job.done && job.recording) job.recording.reset();
        }
    }

    void Finish() {
        backlog_.OnTaken(nullptr);
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        workAvailable_.notify_all();
        for (std::thread& thread : threads_) thread.join();
        threads_.clear();
        for (fz_context* worker : contexts_) fz_drop_context(worker);
        contexts_.clear();
        for (PageJob& job : jobs_) job.recording.reset();
    }

    fz_context* ctx_;
    fz_document* doc_;
    const EngineOptions& options_;
    const LibraryMessages& messages_;
    PageBacklog& backlog_;  // used on the recording thread only
    std::vector<PageJob> jobs_;
    std::vector<std::thread> threads_;
    std::vector<fz_context*> contexts_;

    std::mutex mutex_;
    std::condition_variable workAvailable_;  // a page was recorded, or the run ends
    std::condition_variable pageDrawn_;      // a worker finished a page
    int recorded_ = 0;                       // pages recorded, in order
    int taken_ = 0;                          // pages a worker has begun
    int drawn_ = 0;                          // pages whose file is finished
    bool stop_ = false;
};

}  // namespace

int PageRenderingThreads(const EngineOptions& options) {
    if (options.renderingThreads > 0) return options.renderingThreads;
    return static_cast<int>(WorkerThreads());
}

bool WritePageBitmaps(fz_context* ctx, fz_document* doc, int pageCount,
                      const EngineOptions& options, const LibraryMessages& messages) {
    const std::unique_ptr<PageBacklog> backlog = PageBacklog::FromEnvironment();
    int threads = std::min(PageRenderingThreads(options), pageCount);
    if (threads > 1) {
        ParallelPageWriter writer(ctx, doc, pageCount, options, messages, *backlog);
        if (writer.Start(threads)) return writer.Run();
    }
    return WriteOneAfterAnother(ctx, doc, pageCount, options, messages, *backlog);
}

}  // namespace engine
