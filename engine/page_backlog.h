#pragma once
// Holds the page drawing back while too many finished page files wait to be converted.
//
// The caller converts each page file once it appears and then deletes it; drawing is often far
// faster than converting, so without a limit a long document could fill the disk with pages.
// The limit comes from the environment, so that the command line stays what callers expect.

#include <chrono>
#include <string>
#include <vector>

namespace engine {

// How many finished page files may wait unconverted; absent or not a positive number: no limit.
constexpr const char* kPageBacklogVariable = "XPSCONV_PAGE_BACKLOG";
// Milliseconds without any page file taken after which the engine stops waiting; only tests
// shorten it.
constexpr const char* kPageBacklogPatienceVariable = "XPSCONV_PAGE_BACKLOG_PATIENCE_MS";

class PageBacklog {
  public:
    using Clock = std::chrono::steady_clock;
    // A consumer that has taken no page for this long has stopped; waiting on would be forever.
    static constexpr std::chrono::milliseconds kDefaultPatience{10 * 60 * 1000};
    // The caller ends an engine that is silent for minutes; a line this often shows it waits.
    static constexpr std::chrono::milliseconds kKeepAliveInterval{2000};
    // Short enough that a page is started as soon as a file goes, long enough to cost nothing.
    static constexpr std::chrono::milliseconds kPollInterval{3};

    // limit 0 (or less) means no limit.
    explicit PageBacklog(int limit, std::chrono::milliseconds patience = kDefaultPatience);
    // The limit and patience the environment gives.
    static PageBacklog FromEnvironment();

    bool Limited() const { return limit_ > 0; }

    // The page file at path is complete and in place.
    void PageWritten(const std::string& path);

    // True when one more page may be started while `unfinished` pages are being drawn (their
    // files not yet in place). Looks at the files only when the count is at the limit.
    bool RoomForPage(int unfinished);

    // Called between looks while there is no room: writes the keep-alive line when it is due.
    // False when it cannot be written: nobody reads the output any more, so nobody will take
    // the pages either.
    bool KeepAlive();

  private:
    // Drops the files that are gone; true when any was.
    bool ForgetTakenFiles();

    int limit_;
    std::chrono::milliseconds patience_;
    std::vector<std::string> waiting_;  // files in place, not yet seen gone
    bool holding_ = false;              // the last RoomForPage said no
    bool gaveUp_ = false;               // the patience ran out during this hold
    Clock::time_point heldSince_;       // start of the hold, or the last file taken during it
    Clock::time_point nextKeepAlive_;
};

}  // namespace engine
