#pragma once
// How a command handler's steps end when something fails: under a trap, with the trap's message; or
// where no trap stands, silently, with the failure recorded for the status bar and the batch program.

#include <new>
#include <string>

#include "commands/app.h"
#include "commands/run_outcome.h"
#include "core/errors.h"

namespace varnex {

/// Runs one group of steps under a trap that shows `message` on any failure; false when it fired.
template <class Steps>
bool trapped(App& app, const std::string& message, Steps&& steps) {
    try {
        steps();
        return true;
    } catch (const RunError&) {
    } catch (const std::bad_alloc&) {
    }
    app.box->message(message);
    app.last_run.end = RunEnd::Message;
    app.last_run.fault = message;
    return false;
}

/// What no trap of a handler covers (the steps after its last trap, such as enabling the buttons or
/// showing the duration) ends the command silently, as an untrapped failure does, rather than leaving
/// it for the event loop.
template <class Steps>
void untrapped_ends_silently(App& app, Steps&& steps) {
    try {
        steps(app);
    } catch (const std::exception& e) {
        try {
            record_fault(app, dynamic_cast<const RunError*>(&e) ? e.what() : error_name(ErrorKind::OutOfMemory));
        } catch (const std::exception&) {
        }
    }
}

}  // namespace varnex
