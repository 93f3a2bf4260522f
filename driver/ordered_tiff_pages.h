#pragma once
// The pages of one multi-page TIFF are encoded on several threads but must go into the file
// strictly in page order. Whichever thread hands in the next page the file is waiting for
// appends it and every consecutive page already handed in; the others leave theirs waiting.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "conversion/image_converter.h"

class OrderedTiffPages {
  public:
    enum class Outcome { kEncoded, kFailed, kNoSuchPage };

    // document: the handle holding the multi-page path. At most window pages (being encoded or
    // waiting) may be ahead of the file, which bounds the memory the encoded pages take.
    OrderedTiffPages(ImgConvHandle document, int firstPage, int window);

    // Blocks while page is window or more pages ahead of the next page for the file.
    void WaitForTurn(int page);
    // Hands in what became of page (bytes only for kEncoded, why only for kFailed). Every page
    // from firstPage up to the last one handed in must be handed in exactly once.
    void HandIn(int page, Outcome outcome, std::vector<uint8_t> bytes = {}, std::string why = {});

    // Once every thread is done: pages that went into the file, and pages that failed (to
    // encode or to append).
    int Appended() const { return appended_; }
    int Failures() const { return failures_; }
    // Why each failed page failed, by page number.
    const std::map<int, std::string>& Reasons() const { return reasons_; }

  private:
    struct Waiting {
        Outcome outcome;
        std::vector<uint8_t> bytes;
        std::string why;
    };

    ImgConvHandle document_;
    int window_;
    std::mutex mutex_;
    std::condition_variable turn_;
    std::map<int, Waiting> waiting_;
    int next_;                // the page the file waits for
    bool appending_ = false;  // some thread is appending; it takes every page that is ready
    int appended_ = 0;
    int failures_ = 0;
    std::map<int, std::string> reasons_;
};
