#pragma once
// A bound on the memory the library may hold. A document can declare an image far larger than
// the machine (a few bytes of header claim billions of pixels), so every block the library
// takes is counted, and past the budget the allocation fails: the library then empties its
// caches and tries again, and finally throws, which fails the page rather than the machine.

#include <mupdf/fitz.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace engine {

class MemoryBudget {
  public:
    // Every block carries a header this long holding its size; it keeps the block's 16-byte
    // alignment and counts against the budget.
    static constexpr size_t kHeaderBytes = 16;

    explicit MemoryBudget(uint64_t limitBytes);
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;

    // The callbacks for fz_new_context. Safe on any thread. This object must outlive every
    // context made with them.
    const fz_alloc_context* Allocator() const { return &allocator_; }

    uint64_t Limit() const { return limit_; }
    // Bytes held in live blocks, headers included.
    uint64_t InUse() const { return inUse_.load(std::memory_order_relaxed); }
    // How many allocations the budget has refused so far, on any thread.
    uint64_t Refusals() const { return refusals_.load(std::memory_order_relaxed); }
    // How many allocations it has refused on the calling thread, so that a page drawn on one
    // thread can tell its own refusals from another page's.
    static uint64_t RefusalsOnThisThread();

    // As malloc, realloc and free, within the budget; nullptr when it would be exceeded.
    void* Allocate(size_t size);
    void* Reallocate(void* block, size_t size);
    void Release(void* block);

  private:
    friend const MemoryBudget* BudgetOf(fz_context* ctx);

    void Refuse();
    bool Reserve(uint64_t bytes);
    void Unreserve(uint64_t bytes);

    static void* AllocateCallback(void* user, size_t size);
    static void* ReallocateCallback(void* user, void* block, size_t size);
    static void ReleaseCallback(void* user, void* block);

    const uint64_t limit_;
    std::atomic<uint64_t> inUse_{0};
    std::atomic<uint64_t> refusals_{0};
    fz_alloc_context allocator_;
};

// The budget in bytes: the value of XPSCONV_ENGINE_MEMORY (setting; MiB, a positive whole
// number) when it is usable, else half of physicalBytes (no bound when that is unknown). An
// unusable setting leaves warning saying so; otherwise warning is left empty. A missing or
// empty setting is no setting.
uint64_t ChooseMemoryBudget(const char* setting, uint64_t physicalBytes, std::string& warning);

// The size of the library's cache for a budget: no more than half of it, so that what is
// cached never crowds out what a page needs.
size_t StoreLimitFor(uint64_t budgetBytes);

// The budget behind ctx's allocator; nullptr when ctx allocates without one.
const MemoryBudget* BudgetOf(fz_context* ctx);

// The JPEG decoder takes its memory from the system rather than through the library, and a
// progressive image has it hold every coefficient of the image at once. It gets a bound of
// budgetBytes of its own, through the setting it reads whenever a decoder starts (JPEGMEM in
// the environment, which this replaces). Nothing for an unbounded budget.
void LimitJpegDecoders(uint64_t budgetBytes);

// What a page or the document lost to a refused allocation, in one phrase.
std::string BudgetReachedMessage(const MemoryBudget& budget);

// True for the errors thrown when memory ran out for good: the library's allocation
// functions after their last try, or the JPEG decoder.
bool IsAllocationFailure(const std::string& message);
// True for the JPEG decoder's error when the bound of LimitJpegDecoders was reached.
bool IsJpegLimitReached(const std::string& message);

}  // namespace engine
