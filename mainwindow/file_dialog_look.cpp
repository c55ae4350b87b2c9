#include "mainwindow/file_dialog_look.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QScreen>
#include <QTreeView>

namespace varnex {

namespace {

const QString kAllFiles = QStringLiteral("All files (*)");
const QString kTextSystems = QStringLiteral("Text system files (*.txt)");

}  // namespace

DialogLook dialog_look(DialogPurpose purpose) {
    switch (purpose) {
        case DialogPurpose::Open:
            return {QStringLiteral("Open system"), {kTextSystems, kAllFiles}};
        case DialogPurpose::Save:
            return {QStringLiteral("Save system as"), {kTextSystems, kAllFiles}};
        case DialogPurpose::Connect:
            return {QStringLiteral("Connect: choose a text system file"), {kTextSystems, kAllFiles}};
        case DialogPurpose::Import:
            return {QStringLiteral("Import"),
                    {QStringLiteral("Systems to import (*.mtx *.csv *.tsv *.gz *.bz2 *.xz *.zst *.zip *.tgz *.tar)"),
                     QStringLiteral("Matrix Market (*.mtx *.mtx.gz)"),
                     QStringLiteral("Delimited text (*.csv *.tsv *.txt)"), kAllFiles}};
        case DialogPurpose::Export:
            return {QStringLiteral("Export solution"),
                    {QStringLiteral("Text, one value a line (*.txt)"), QStringLiteral("Matrix Market (*.mtx)"),
                     kAllFiles}};
    }
    return {};
}

void apply_dialog_look(QFileDialog& dialog, const DialogLook& look) {
    if (!look.title.isEmpty()) dialog.setWindowTitle(look.title);
    if (!look.filters.isEmpty()) dialog.setNameFilters(look.filters);
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!list) return;
    // Room for a long name beside "492.5 KiB", "Plain text document" and a full date and time.
    const QFontMetrics fm = dialog.fontMetrics();
    QSize size(std::max(dialog.width(), fm.horizontalAdvance(QLatin1Char('x')) * 110),
               std::max(dialog.height(), fm.height() * 28));
    if (const QScreen* screen = dialog.screen()) size = size.boundedTo(screen->availableSize() * 9 / 10);
    dialog.resize(size);
    QHeaderView* header = list->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < header->count(); ++c) header->setSectionResizeMode(c, QHeaderView::ResizeToContents);
}

}  // namespace varnex
