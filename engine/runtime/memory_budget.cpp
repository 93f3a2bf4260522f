#include "engine/runtime/memory_budget.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/platform.h"
#include "protocol/engine_protocol.h"

namespace engine {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kUnbounded = std::numeric_limits<uint64_t>::max();
constexpr size_t kMaxBlock = std::numeric_limits<size_t>::max() - MemoryBudget::kHeaderBytes;

thread_local uint64_t refusalsOnThisThread = 0;

// The header sits in front of the block the library sees; its first bytes hold the size the
// library asked for.
struct alignas(MemoryBudget::kHeaderBytes) BlockHeader {
    size_t size;
};
static_assert(sizeof(BlockHeader) == MemoryBudget::kHeaderBytes);

BlockHeader* HeaderOf(void* block) { return static_cast<BlockHeader*>(block) - 1; }
void* BlockAfter(BlockHeader* header) { return header + 1; }
uint64_t Held(size_t size) { return uint64_t{size} + MemoryBudget::kHeaderBytes; }

}  // namespace

MemoryBudget::MemoryBudget(uint64_t limitBytes)
    : limit_(limitBytes),
      allocator_{this, &MemoryBudget::AllocateCallback, &MemoryBudget::ReallocateCallback,
                 &MemoryBudget::ReleaseCallback} {}

uint64_t MemoryBudget::RefusalsOnThisThread() { return refusalsOnThisThread; }

void MemoryBudget::Refuse() {
    refusals_.fetch_add(1, std::memory_order_relaxed);
    ++refusalsOnThisThread;
}

bool MemoryBudget::Reserve(uint64_t bytes) {
    uint64_t current = inUse_.load(std::memory_order_relaxed);
    do {
        if (bytes > limit_ || current > limit_ - bytes) {
            Refuse();
            return false;
        }
    } while (!inUse_.compare_exchange_weak(current, current + bytes, std::memory_order_relaxed));
    return true;
}

void MemoryBudget::Unreserve(uint64_t bytes) { inUse_.fetch_sub(bytes, std::memory_order_relaxed); }

void* MemoryBudget::Allocate(size_t size) {
    if (size > kMaxBlock) {
        Refuse();
        return nullptr;
    }
    if (!Reserve(Held(size))) return nullptr;
    auto* header = static_cast<BlockHeader*>(std::malloc(size + kHeaderBytes));
    if (!header) {
        Unreserve(Held(size));
        return nullptr;
    }
    header->size = size;
    return BlockAfter(header);
}

void* MemoryBudget::Reallocate(void* block, size_t size) {
    if (!block) return Allocate(size);
    if (size == 0) {
        Release(block);
        return nullptr;
    }
    if (size > kMaxBlock) {
        Refuse();
        return nullptr;
    }
    BlockHeader* header = HeaderOf(block);
    const size_t old = header->size;
    // Growth is reserved before the block moves; a shrink is given back once it has.
    if (size > old && !Reserve(size - old)) return nullptr;
    auto* moved = static_cast<BlockHeader*>(std::realloc(header, size + kHeaderBytes));
    if (!moved) {
        if (size > old) Unreserve(size - old);
        return nullptr;  // the old block stays as it was, as with realloc
    }
    if (size < old) Unreserve(old - size);
    moved->size = size;
    return BlockAfter(moved);
}

void MemoryBudget::Release(void* block) {
    if (!block) return;
    BlockHeader* header = HeaderOf(block);
    Unreserve(Held(header->size));
    std::free(header);
}

void* MemoryBudget::AllocateCallback(void* user, size_t size) {
    return static_cast<MemoryBudget*>(user)->Allocate(size);
}

void* MemoryBudget::ReallocateCallback(void* user, void* block, size_t size) {
    return static_cast<MemoryBudget*>(user)->Reallocate(block, size);
}

void MemoryBudget::ReleaseCallback(void* user, void* block) {
    static_cast<MemoryBudget*>(user)->Release(block);
}

uint64_t ChooseMemoryBudget(const char* setting, uint64_t physicalBytes, std::string& warning) {
    warning.clear();
    const uint64_t fallback = physicalBytes > 0 ? physicalBytes / 2 : kUnbounded;
    if (!setting || *setting == '\0') return fallback;  // empty is taken as not set
    uint64_t mebibytes = 0;
    bool usable = true;
    for (const char* c = setting; usable && *c; ++c) {
        usable = *c >= '0' && *c <= '9' && mebibytes <= (kUnbounded / kMiB) / 10;
        if (usable) mebibytes = mebibytes * 10 + static_cast<uint64_t>(*c - '0');
    }
    if (usable && mebibytes > 0 && mebibytes <= kUnbounded / kMiB) return mebibytes * kMiB;
    warning = "XPSCONV_ENGINE_MEMORY=" + std::string(setting) +
              " is not a positive number of MiB and is ignored";
    return fallback;
}

size_t StoreLimitFor(uint64_t budgetBytes) {
    constexpr uint64_t kDefaultStore = FZ_STORE_DEFAULT;
    return static_cast<size_t>(std::min(budgetBytes / 2, kDefaultStore));
}

const MemoryBudget* BudgetOf(fz_context* ctx) {
    if (!ctx || ctx->alloc.malloc != &MemoryBudget::AllocateCallback) return nullptr;
    return static_cast<const MemoryBudget*>(ctx->alloc.user);
}

std::string BudgetReachedMessage(const MemoryBudget& budget) {
    return protocol::BudgetReachedText(budget.Limit() / kMiB);
}

void LimitJpegDecoders(uint64_t budgetBytes) {
    if (budgetBytes == kUnbounded) return;
    platform::SetEnvironmentValue("JPEGMEM", std::to_string(budgetBytes / 1000));  // thousands of bytes
}

bool IsAllocationFailure(const std::string& message) {
    // The texts of the library's allocation functions, then the decoder's own.
    for (const char* start : {"malloc of ", "calloc (", "realloc ("}) {
        if (message.compare(0, std::strlen(start), start) == 0) return true;
    }
    return IsJpegLimitReached(message) || message.find("Insufficient memory") != std::string::npos;
}

bool IsJpegLimitReached(const std::string& message) {
    // With a bound, the decoder would move what does not fit into a backing store, which the
    // system's JPEG library does not have.
    return message.find("Backing store not supported") != std::string::npos;
}

}  // namespace engine
