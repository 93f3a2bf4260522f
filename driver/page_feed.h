#pragma once
// The pages of one document between the engine and the page workers: the runner's thread hands
// on each page the engine announces, the workers wait for the page they claimed and say when
// its file is gone, so that the engine may draw more.

#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

#include "driver/renderer.h"

class PageFeed {
  public:
    // On the runner's thread: page's file is complete under its final name.
    void Announce(int page);
    // The engine has ended; nothing more will be announced.
    void EngineEnded();
    // Waits until page number is announced. Once the engine has ended without announcing it,
    // its file (at path) counts when it is there: the engine may have ended between the rename
    // and the announcement. False when there is no such page.
    bool WaitForPage(int number, const std::string& path);
    // Page number's file is gone: tells the engine, which may then draw one more.
    void Taken(int number);

    // What RunRenderer connects to the engine's standard input.
    EngineInput& Input() { return input_; }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<int> announced_;
    bool ended_ = false;
    EngineInput input_;
};
