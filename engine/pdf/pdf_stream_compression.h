#pragma once
// Deflating the streams of a PDF before it is saved.

#include <mupdf/pdf.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace engine {

// Deflates the streams of a document on another core while the pages are still being drawn.
// The library would otherwise deflate them one by one while saving.
// Between pages, TakeNewStreams hands over copies of the streams added since the last call; Finish
// puts the deflated bytes in, but only into streams still holding the bytes that were handed over,
// and then deflates whatever is left, so a stream changed later is never given stale data.
class BackgroundStreamDeflater {
  public:
    BackgroundStreamDeflater(fz_context* ctx, pdf_document* doc);
    ~BackgroundStreamDeflater();
    BackgroundStreamDeflater(const BackgroundStreamDeflater&) = delete;
    BackgroundStreamDeflater& operator=(const BackgroundStreamDeflater&) = delete;

    // Empty, or the library's error text.
    std::string TakeNewStreams();
    // Afterwards no stream is left without a filter where deflating helps. Empty, or the
    // library's error text.
    std::string Finish();
    // Ends the worker and forgets the copies; what it had not finished is not used.
    void Stop();

    struct Work {
        int num = 0;
        int level = 0;  // zlib's
        std::vector<unsigned char> raw;
        std::vector<unsigned char> deflated;  // empty when deflating did not make it smaller
        bool done = false;                    // deflated has its final value
    };

  private:
    void Serve();
    // Puts the finished results into their streams and drops their copies. False on a library
    // error.
    bool PutInDeflated();

    fz_context* ctx_;
    pdf_document* doc_;
    int scannedUpTo_ = 1;  // object numbers below this have been looked at

    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable finished_;
    std::deque<Work*> pending_;
    std::vector<std::unique_ptr<Work>> all_;  // handed over and not yet put in
    size_t inProgress_ = 0;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace engine
