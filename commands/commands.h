#pragma once
// The command logic behind the main window and the batch program, free of Qt: each handler reads
// its inputs through the App's seams, works on the state and the grid, and shows its messages
// through App::box.
// Every failure is caught where the handler's trap stands; nothing escapes to the event loop.

#include <string>

#include "commands/app.h"

namespace varnex {

/// Load handler: message table, disabled controls, IterCount = 1, the data folder and the samples
/// on a first start, Eps from txtEps.
void Form_Load(App& app);
/// "Accept N".
void cmdN_Click(App& app);
/// "Find  solution".
void cmdSolution_Click(App& app);
/// "Next Iteration".
void cmdIter_Click(App& app);
/// ">" and "<" of the index selector Index (0, 1, 2).
void cmdUp_Click(App& app, int Index);
void cmdDown_Click(App& app, int Index);
/// "Accept A(i,j)" and "Accept B(i)".
void cmdA_Click(App& app);
void cmdB_Click(App& app);
/// The steps of "Accept A(i,j)" and "Accept B(i)" after the boxes have been read: the check of the
/// value, the indices against N, and the text as typed into the cell of a(i,j) or b(i). MsgBadNumber
/// and no change on any failure (also in connected mode, whose layout has no such cells). True when
/// the cell was written. Typing into the grid goes through these as well.
bool accept_a(App& app, int i, int j, const std::string& value);
bool accept_b(App& app, int i, const std::string& value);

}  // namespace varnex
