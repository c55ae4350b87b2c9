#pragma once
// The Open command: a text system file into the grid, with its stored solution as approximation.

#include <cstdint>
#include <string>
#include <vector>

#include "commands/app.h"

namespace varnex {

void Open_Click(App& app);
/// Open without the dialog, on `path` (a file dropped on the window): the dialog's file name becomes
/// the path, and everything else goes as after a confirmed dialog.
void open_path(App& app, const std::string& path);
/// Reads the file into the grid and sets N; reports its own failures (MsgNoFile, MsgBadFile).
void open_file(App& app, const std::string& name);
/// x(1..N) = the stored solution of the system file at path, or zeros; reports MsgBadFile itself.
void get_solution(App& app, const std::string& path, std::vector<float>& x);

/// Raises RunError(OutOfMemory) when a system of the order n cannot be held in memory mode: the grid's
/// texts (about `text_bytes`, and a slot for each of the n(n+1) cells) and then A and the vectors,
/// against the memory this process may still use (what the grid and A hold now is given back first).
/// Open and Import check it once the order is known, before they lay the grid out, so that a system
/// too large says MsgNoMemory instead of the kernel ending the program half-way.
void ensure_system_memory(const App& app, int n, std::uint64_t text_bytes);

/// What Open does once the file is read: memory mode, and "Accept A(i,j)", "Accept B(i)", "Find
/// solution" and "Next Iteration" enabled.
void enter_memory_mode(App& app);
/// Open's last steps for the order N now held: txtN, txtEps = N / 10, A, B, X, R, D dimensioned and
/// zero-filled, IterCount = 1; memory that cannot be had shows MsgNoMemory.
void reset_for_order(App& app);

}  // namespace varnex
