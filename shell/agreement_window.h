#pragma once
// The agreement window frmAgreement, shown at a start while its marker file is missing.

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "core/ui.h"

class QPlainTextEdit;
class QPushButton;

namespace varnex {

/// Path of the agreement marker: the application folder followed by "/kvt.rss".
QString agreement_marker_path(const QString& app_folder);
/// True when the marker exists as an ordinary file holding exactly its six bytes: an empty or cut-off
/// file (a disk that filled up while it was written) or a folder of that name does not count.
bool agreement_marker_exists(const QString& app_folder);
/// Writes the marker whole or not at all; empty when written, else the reason in words.
std::string write_agreement_marker(const QString& app_folder);
/// The agreement text: a title, an introduction and five sections, lines joined by CR LF, no final
/// line break.
QString agreement_text();

/// frmAgreement, shown modally by the start procedure. "I agree" writes the marker and closes the
/// window; "I do not agree" calls end_program, which ends the program at once, and closes the window;
/// closing it through its frame writes nothing.
class FrmAgreement : public QDialog {
    Q_OBJECT
  public:
    /// box reports a marker that cannot be written; end_program is the caller's way to end the program.
    FrmAgreement(const QString& app_folder, MessageBoxes& box, std::function<void()> end_program);

    void cmdYes_Click();
    void cmdNo_Click();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Form_Load();

    QString app_folder_;
    MessageBoxes& box_;
    std::function<void()> end_program_;
    QPushButton* cmdYes;
    QPushButton* cmdNo;
    QPlainTextEdit* txtAgreement;
};

}  // namespace varnex
