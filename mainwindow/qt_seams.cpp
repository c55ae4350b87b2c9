#include "mainwindow/qt_seams.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMessageBox>
#include <QTime>
#include <algorithm>

#include "mainwindow/grid_table_model.h"
#include "mainwindow/input_gate.h"

namespace varnex {

namespace {

const QString kTitle = QStringLiteral("VARNEX_SOLVER");

QString to_qstring(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QtControls::QtControls() {
    since_paint_.start();
    since_input_.start();
}

void QtControls::bind(Ctl c, QWidget* w) { widgets_[static_cast<std::size_t>(c)] = w; }

QWidget* QtControls::widget(Ctl c) const { return widgets_[static_cast<std::size_t>(c)].data(); }

std::string QtControls::text(Ctl c) const {
    QWidget* w = widget(c);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text().toStdString();
    return {};
}

void QtControls::set_text(Ctl c, std::string_view text) {
    QWidget* w = widget(c);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(to_qstring(text));
        edit->setCursorPosition(0);  // show the start of a long number
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(to_qstring(text));
    }
}

bool QtControls::enabled(Ctl c) const {
    QWidget* w = widget(c);
    return w && w->isEnabled();
}

void QtControls::set_enabled(Ctl c, bool on) {
    if (QWidget* w = widget(c)) w->setEnabled(on);
}

void QtControls::refresh() {
    if (since_input_.elapsed() < kInputMs) return;
    const bool paint = since_paint_.elapsed() >= kRefreshMs;
    if (paint) {
        if (model_) model_->flush();
        if (sweep_listener_) sweep_listener_->before_repaint();
        if (!run_note_.isEmpty() && iter_count_) {
            run_note_ = QStringLiteral("Esc stops the run    Sweeps: %1").arg(*iter_count_ - 1);
            if (status_bar_) status_bar_->showMessage(run_note_);
        }
    }
    // All events, input included: the input gate drops the user's input while a command holds the
    // window, so nothing is queued for after it, and notes Esc.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Measured after the events, so that a slow repaint cannot take more than its share of the run.
    since_input_.restart();
    if (paint) since_paint_.restart();
}

bool QtControls::stop_requested() { return gate_ && gate_->stop_requested(); }

void QtControls::begin_run_note() {
    run_note_ = QStringLiteral("Esc stops the run");
    if (status_bar_) status_bar_->showMessage(run_note_);
}

void QtControls::end_run_note() {
    // Cleared only when still showing: a note the command wrote as it ended stays.
    if (status_bar_ && !run_note_.isEmpty() && status_bar_->currentMessage() == run_note_) status_bar_->clearMessage();
    run_note_.clear();
}

QString fit_status_line(const QStatusBar& bar, const QString& line) {
    // A bar not laid out yet has no widths to go by.
    if (!bar.isVisible()) return line;
    // The message runs from the bar's left margin to the first of its permanent widgets.
    int right = bar.width();
    for (const QWidget* w : bar.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisible() && w->x() > bar.width() / 3) right = std::min(right, w->x());
    const int room = right - 12;
    const QFontMetrics fm(bar.font());
    // Whole items only: a line that does not fit loses its last items, never half of one.
    static const QString kSeparator = QStringLiteral(" \u00b7 ");
    QString fitted = line;
    while (fm.horizontalAdvance(fitted) > room) {
        const int cut = fitted.lastIndexOf(kSeparator);
        if (cut <= 0) break;
        fitted.truncate(cut);
    }
    return fitted;
}

void QtControls::status(std::string_view text) {
    run_note_.clear();  // the command's own note replaces the run's
    ++status_writes_;
    if (!status_bar_) return;
    const QString line = to_qstring(text);
    status_line_ = line;
    status_bar_->showMessage(fit_status_line(*status_bar_, line));
    // The tooltip shows the line whole.
    status_bar_->setToolTip(line);
}

void QtControls::refit_status() {
    if (!status_bar_ || status_line_.isEmpty()) return;
    const QString shown = status_bar_->currentMessage();
    // Only the line status() wrote, cut or whole; a run's note or a menu's status tip stays.
    if (shown.isEmpty() || !status_line_.startsWith(shown)) return;
    status_bar_->showMessage(fit_status_line(*status_bar_, status_line_));
}

void QtMessageBoxes::message(std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, kTitle, to_qstring(text), QMessageBox::Ok, parent_.data());
    box.setObjectName(QStringLiteral("VarnexMessage"));
    box.exec();
}

bool QtMessageBoxes::ask_yes_no(std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, kTitle, to_qstring(text), QMessageBox::Yes | QMessageBox::No, parent_.data());
    box.setObjectName(QStringLiteral("VarnexQuestion"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool QtFileDialog::ShowOpen() { return show(false); }
bool QtFileDialog::ShowSave() { return show(true); }

bool QtFileDialog::show(bool save) {
    QFileDialog dialog(parent_.data());
    dialog.setObjectName(QStringLiteral("CD"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Any name may be typed: the commands report a missing file and ask before replacing one.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    apply_dialog_look(dialog, look_);
    if (!InitDir.empty()) dialog.setDirectory(QString::fromStdString(InitDir));
    // Only the name: a full path would move the dialog away from InitDir.
    if (!FileName.empty()) dialog.selectFile(QFileInfo(QString::fromStdString(FileName)).fileName());
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return false;
    FileName = chosen.first().toStdString();
    return true;
}

float SystemClock::seconds_since_midnight() {
    return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay() / 1000.0);
}

}  // namespace varnex
