#pragma once
// The floating-point environment that the exact arithmetic needs: results too small for a float must
// become denormals, as the rounding rule says, never zeros. A process whose MXCSR has flush-to-zero or
// denormals-are-zero set would silently give other bits than the method defines.

namespace varnex {

/// True when neither flush-to-zero nor denormals-are-zero is set for the calling thread (always true
/// on processors without these modes). The start procedure checks it once before any window opens.
bool flush_to_zero_off();

/// Clears flush-to-zero and denormals-are-zero for the calling thread (threads started later inherit
/// the setting). Returns false when either had been set, so the start can tell that it had to act.
bool keep_denormals();

}  // namespace varnex
