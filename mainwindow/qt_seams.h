#pragma once
// The seams of core/ui.h over Qt: the main window's widgets, QMessageBox, QFileDialog and the
// system clock.

#include <QElapsedTimer>
#include <QPointer>
#include <QStatusBar>
#include <QWidget>
#include <array>
#include <cstdint>

#include "core/ui.h"
#include "mainwindow/file_dialog_look.h"

namespace varnex {

class GridTableModel;
class InputGate;

/// Told of every completed sweep, and asked to bring its view up to date just before the throttled
/// repaint of a running command (the convergence window).
class SweepListener {
  public:
    virtual ~SweepListener() = default;
    virtual void sweep_done(float er) = 0;
    virtual void before_repaint() = 0;
};

/// `line` cut after its last " · "-separated item that fits the bar's message area beside its
/// permanent widgets; the first item stays whole even when it does not fit.
QString fit_status_line(const QStatusBar& bar, const QString& line);

/// The controls that the commands read and write, bound to the window's line edits and buttons.
class QtControls : public Controls {
  public:
    /// How often refresh() lets the window repaint while a command holds it, in milliseconds.
    static constexpr int kRefreshMs = 200;
    /// How often refresh() looks at the user's input (which the gate drops, Esc aside), in
    /// milliseconds: often enough that Esc ends a run at once, while the grid still repaints only
    /// every kRefreshMs.
    static constexpr int kInputMs = 40;

    QtControls();
    void bind(Ctl c, QWidget* widget);
    /// The grid's view model: refresh() flushes its deferred cell changes before repainting.
    void set_grid_model(GridTableModel* model) { model_ = model; }
    /// The main window's status bar, where status() writes.
    void set_status_bar(QStatusBar* bar) { status_bar_ = bar; }
    /// The filter that drops input while a command holds the window; stop_requested() asks it.
    void set_input_gate(InputGate* gate) { gate_ = gate; }
    /// The sweep counter shown (less one) in the status bar while a stoppable run holds the window.
    void set_sweep_counter(const int16_t* iter_count) { iter_count_ = iter_count; }

    /// Called as a stoppable run starts and after it ends: shows and clears "Esc stops the run".
    void begin_run_note();
    void end_run_note();
    /// Who hears of each sweep and of each repaint (nullptr: no one).
    void set_sweep_listener(SweepListener* listener) { sweep_listener_ = listener; }

    std::string text(Ctl c) const override;
    void set_text(Ctl c, std::string_view text) override;
    bool enabled(Ctl c) const override;
    void set_enabled(Ctl c, bool on) override;
    /// At most every kInputMs: handles pending events, the user's input going through the gate; at
    /// most every kRefreshMs also flushes the grid's changes and the sweep count of the status bar
    /// first. Between those moments a call costs one clock reading.
    void refresh() override;
    bool stop_requested() override;
    void status(std::string_view text) override;
    /// Fits the line on show to the status bar again, after the window's width changed.
    void refit_status();
    /// How many notes status() has shown so far: tells the window whether a command wrote one.
    unsigned status_writes() const { return status_writes_; }
    void sweep_done(float er) override {
        if (sweep_listener_) sweep_listener_->sweep_done(er);
    }

  private:
    QWidget* widget(Ctl c) const;

    std::array<QPointer<QWidget>, static_cast<std::size_t>(Ctl::cmdIter) + 1> widgets_;
    GridTableModel* model_ = nullptr;
    QPointer<QStatusBar> status_bar_;
    unsigned status_writes_ = 0;
    InputGate* gate_ = nullptr;
    const int16_t* iter_count_ = nullptr;
    QString status_line_;  ///< the last line status() wrote, whole
    QString run_note_;  ///< the status text this class showed last during a run, empty when none
    SweepListener* sweep_listener_ = nullptr;
    QElapsedTimer since_paint_;
    QElapsedTimer since_input_;
};

/// Modal boxes titled "VARNEX_SOLVER" without an icon: OK only, or Yes and No.
class QtMessageBoxes : public MessageBoxes {
  public:
    explicit QtMessageBoxes(QWidget* parent) : parent_(parent) {}
    void message(std::string_view text) override;
    bool ask_yes_no(std::string_view text) override;

  private:
    QPointer<QWidget> parent_;
};

/// The dialog CD on QFileDialog: starts in InitDir with the name of FileName preselected, titled and
/// filtered for its command; no overwrite question (the Save command asks its own).
class QtFileDialog : public FileDialog {
  public:
    explicit QtFileDialog(QWidget* parent) : parent_(parent) {}
    bool ShowOpen() override;
    bool ShowSave() override;
    /// The title and filters of the next dialogs (the window sets them for each command).
    void set_look(DialogLook look) { look_ = std::move(look); }

  private:
    bool show(bool save);
    QPointer<QWidget> parent_;
    DialogLook look_;
};

/// Local time of day in seconds, to the millisecond.
class SystemClock : public Clock {
  public:
    float seconds_since_midnight() override;
};

}  // namespace varnex
