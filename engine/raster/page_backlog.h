#pragma once
// Holds the page drawing back while too many announced page files wait to be taken.
//
// The caller converts each page file once it is announced, deletes it and says so on the
// engine's standard input ("taken N"); drawing is often far faster than converting, so without a
// limit a long document could fill the disk with pages. The limit comes from the environment,
// so that the command line stays what callers expect.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace engine {

class PageBacklog {
  public:
    using Clock = std::chrono::steady_clock;
    // Reads at most size bytes of the taken lines, blocking; 0 at their end.
    using LineSource = std::function<size_t(char* buffer, size_t size)>;
    // A consumer that has taken no page for this long has stopped; waiting on would be forever.
    static constexpr std::chrono::milliseconds kDefaultPatience{10 * 60 * 1000};
    // The caller ends an engine that is silent for minutes; a line this often shows it waits.
    static constexpr std::chrono::milliseconds kKeepAliveInterval{2000};

    // limit 0 (or less) means no limit, and nothing is read. With a limit, the taken lines are
    // read from source on a thread of its own for as long as the process lives.
    PageBacklog(int limit, std::chrono::milliseconds patience, LineSource source);
    ~PageBacklog();
    PageBacklog(const PageBacklog&) = delete;
    PageBacklog& operator=(const PageBacklog&) = delete;
    // The limit and patience the environment gives, the taken lines from standard input.
    static std::unique_ptr<PageBacklog> FromEnvironment();

    bool Limited() const { return limit_ > 0; }

    // Page number's file is complete and announced.
    void PageWritten(int page);

    // True when one more page may be started while `unfinished` pages are being drawn (not yet
    // announced).
    bool RoomForPage(int unfinished);
    // While there is no room: blocks until a page is taken after the last RoomForPage, or until
    // the next keep-alive or the end of the patience is due.
    void WaitForTaken();
    // When RoomForPage should be asked again even though nothing was taken.
    Clock::time_point NextLook() const;
    // wake is called on the reading thread after every page taken, for a caller that waits on
    // a condition of its own; nullptr stops it (and waits for a call under way to finish).
    void OnTaken(std::function<void()> wake);

    // Called between looks while there is no room: writes the keep-alive line when it is due.
    // False when it cannot be written: nobody reads the output any more, so nobody will take
    // the pages either.
    bool KeepAlive();

  private:
    struct Shared;

    int limit_;
    std::chrono::milliseconds patience_;
    std::shared_ptr<Shared> shared_;  // also held by the reading thread
    unsigned long long takesSeen_ = 0;  // pages taken as of the last RoomForPage
    bool holding_ = false;              // the last RoomForPage said no
    bool gaveUp_ = false;               // the patience ran out during this hold
    Clock::time_point heldSince_;       // start of the hold, or the last page taken during it
    Clock::time_point nextKeepAlive_;
};

}  // namespace engine
