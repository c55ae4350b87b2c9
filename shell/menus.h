#pragma once
// The main window's menu bar: File, Edit, View and Help, each entry named for its command.

namespace varnex {

class FrmMain;

/// Builds the menu bar of `w` and connects each entry to the window's command; the window then takes
/// its designed size again, the menu bar included.
void build_menus(FrmMain& w);

}  // namespace varnex
