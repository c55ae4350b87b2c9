#pragma once
// View, Accuracy: the whole accuracy report of the last solve command as a table, and the ten
// components of x farthest from the reference solution. Modeless and kept above the main window;
// its text can be selected and copied.

#include <QWidget>

#include "core/accuracy.h"

class QTextBrowser;

namespace varnex {

class AccuracyWindow : public QWidget {
    Q_OBJECT

  public:
    explicit AccuracyWindow(QWidget* parent = nullptr);

    /// Shows `report` (nullptr: no report on show) with `system`, the system file's name, in the title.
    void show_report(const AccuracyReport* report, const QString& system);

  protected:
    /// Closes this window with the main window that owns it.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QTextBrowser* view_ = nullptr;
};

/// The report as an HTML document: the items as a two-column table, then the components farthest
/// from the reference.
QString accuracy_html(const AccuracyReport* report);

}  // namespace varnex
