#pragma once
// The help window frmHelp: a small viewer for the local user guide and the maker's web page.

#include <QString>

namespace varnex {

/// "&User Guide": shows the help window (one instance, modeless) on the local guide.
void UserGuide_Click(const QString& app_folder);
/// "&Get Paid": the same window on the fixed page of the maker's web site.
void GetPaid_Click();
/// Closes the help window if it is open (Exit).
void close_help_window();

}  // namespace varnex
