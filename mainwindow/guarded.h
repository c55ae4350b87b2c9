// The one guard between the windows' code and Qt's event loop.
#pragma once

#include <utility>

namespace varnex {

// Runs f and keeps any exception from leaving: an exception that reached Qt's event loop would end
// the program. Every slot, connected lambda, timer callback, event override and queued delivery of
// the windows runs its logic through here. The commands report their own failures; what still
// escapes (no memory for a copy or a repaint, a thread that cannot start) is dropped, and the window
// stays as it was. Returns whether f ran to its end.
template <class F>
bool guarded(F&& f) noexcept {
    try {
        std::forward<F>(f)();
        return true;
    } catch (...) {
        return false;
    }
}

// f wrapped so that each call runs through guarded(), for connect() and QTimer::singleShot. It takes
// the arguments f takes, so that connect() passes f as many of a signal's arguments as it wants.
template <class F>
struct Guard {
    F f;
    template <class... Args>
    auto operator()(Args&&... args) const noexcept -> decltype(f(std::forward<Args>(args)...), void()) {
        guarded([&] { f(std::forward<Args>(args)...); });
    }
};

template <class F>
Guard<F> guard(F f) {
    return Guard<F>{std::move(f)};
}

}  // namespace varnex
