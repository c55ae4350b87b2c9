#pragma once
// The batch run's Save step.

#include "batch/batch_run.h"
#include "batch/batch_seams.h"

namespace varnex::batch {

/// Save, as the File menu's Save runs it, with NAME (or the system file's name) confirmed in the
/// dialog; then which of the files it was to write it has put in place (into report.saved). Returns
/// false when a file was kept or not written, naming it on stderr.
bool save_files(const Args& args, const Environment& env, App& app, CommandLineDialog& cd, PrintedBoxes& boxes,
                Report& rep);

}  // namespace varnex::batch
