// Provisional: replaced by the help window.
#include "shell/help_window.h"

namespace varnex {
void UserGuide_Click(const QString&) {}
void GetPaid_Click() {}
void close_help_window() {}
}  // namespace varnex
