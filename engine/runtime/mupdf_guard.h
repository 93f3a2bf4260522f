#pragma once
// The one boundary around the library's error jumps. The library reports an error by a jump
// (setjmp and longjmp) to the innermost fz_try: a jump skips C++ destructors, and a C++
// exception must never pass through the library's own frames. So the engine enters fz_try only
// here. The body runs as a callable whose captures are plain data (trivially destructible, so
// nothing is lost when a jump leaves it); the block itself builds, grows and destroys no C++
// object; the caller turns the outcome into C++ (an error text, a container grown) after it.
// Inside a body: call the library, keep results in plain variables; no containers or texts.

#include <mupdf/fitz.h>

#include <exception>
#include <new>
#include <string>
#include <type_traits>

namespace engine {

namespace guard_detail {

using Step = void (*)(void* parts);

struct Steps {
    Step body;
    Step always;  // nullptr: none
    Step failed;  // nullptr: none
};

// Runs body in fz_try, always in fz_always and failed in fz_catch, all on parts. True when
// body finished. When it threw: with passOn the error goes on to the caller's own try block,
// else false.
bool Run(fz_context* ctx, const Steps& steps, void* parts, bool passOn);

// Raises the library's error code with message (a plain text, copied).
[[noreturn]] void Raise(fz_context* ctx, int code, const char* message);

struct NoStep {
    void operator()() const {}
};

template <class Body, class Always, class Failed>
bool Guard(fz_context* ctx, Body& body, Always& always, Failed& failed, bool passOn) {
    static_assert(std::is_trivially_destructible_v<Body> &&
                      std::is_trivially_destructible_v<Always> &&
                      std::is_trivially_destructible_v<Failed>,
                  "only plain data may live across the library's error jump");
    struct Parts {
        Body* body;
        Always* always;
        Failed* failed;
    } parts{&body, &always, &failed};
    Steps steps{[](void* p) { (*static_cast<Parts*>(p)->body)(); }, nullptr, nullptr};
    if constexpr (!std::is_same_v<std::remove_cv_t<Always>, NoStep>) {
        steps.always = [](void* p) { (*static_cast<Parts*>(p)->always)(); };
    }
    if constexpr (!std::is_same_v<std::remove_cv_t<Failed>, NoStep>) {
        steps.failed = [](void* p) { (*static_cast<Parts*>(p)->failed)(); };
    }
    return Run(ctx, steps, &parts, passOn);
}

}  // namespace guard_detail

// The message of the error caught last, or a fixed text when there is none. An allocation
// that failed because the memory budget was reached is said so.
std::string CaughtMessage(fz_context* ctx);

// Runs body() inside the library's try block, then always() whether body finished or not (to
// drop what body made). Empty when body finished, else the library's error text (never empty).
template <class Body, class Always = guard_detail::NoStep>
std::string RunGuarded(fz_context* ctx, Body&& body, Always&& always = {}) {
    guard_detail::NoStep none;
    if (guard_detail::Guard(ctx, body, always, none, false)) return {};
    return CaughtMessage(ctx);
}

// For code that passes the library's errors on to its caller: runs body(), then always()
// whether body finished or not, and onFailure() only when it threw, before the error goes on.
template <class Body, class Always, class OnFailure = guard_detail::NoStep>
void RunWithCleanup(fz_context* ctx, Body&& body, Always&& always, OnFailure&& onFailure = {}) {
    guard_detail::Guard(ctx, body, always, onFailure, true);
}

// The same without a clean-up for both ends: onFailure() undoes what body made when it threw.
template <class Body, class OnFailure>
void RunUndoingOnFailure(fz_context* ctx, Body&& body, OnFailure&& onFailure) {
    guard_detail::NoStep none;
    guard_detail::Guard(ctx, body, none, onFailure, true);
}

// A library callback (a device's drawing function) that lets no C++ exception into the
// library: one that escapes Fn becomes the library's error, raised after the catch block has
// ended. Use as ShieldedCallback<Fn>::Call.
template <auto Fn>
struct ShieldedCallback;

template <class Result, class... Args, Result (*Fn)(fz_context*, Args...)>
struct ShieldedCallback<Fn> {
    static Result Call(fz_context* ctx, Args... args) noexcept {
        int code = FZ_ERROR_GENERIC;
        char message[128] = "unexpected failure in the engine";
        try {
            return Fn(ctx, args...);
        } catch (const std::bad_alloc&) {
            // Worded as the library's own allocation failures, so that it is told as one.
            code = FZ_ERROR_MEMORY;
            fz_strlcpy(message, "malloc of engine data failed", sizeof message);
        } catch (const std::exception& e) {
            fz_strlcpy(message, e.what(), sizeof message);
        } catch (...) {
        }
        guard_detail::Raise(ctx, code, message);
    }
};

}  // namespace engine
