#pragma once
// How the file dialog presents itself for each command that shows it: a title that names the
// command, filters for the command's formats followed by all files, and columns wide enough for
// what they show.

#include <QString>
#include <QStringList>

class QFileDialog;

namespace varnex {

enum class DialogPurpose { Open, Save, Connect, Import, Export };

struct DialogLook {
    QString title;        ///< empty: the dialog's own
    QStringList filters;  ///< name filters, the first one selected; empty: none
};

DialogLook dialog_look(DialogPurpose purpose);

/// Applies the look, sizes the dialog for a four-column listing and lets the size, type and date
/// columns take the width of their contents (the name column takes the rest). Only Qt's own dialog
/// has such columns; a desktop's dialog sizes its own.
void apply_dialog_look(QFileDialog& dialog, const DialogLook& look);

}  // namespace varnex
