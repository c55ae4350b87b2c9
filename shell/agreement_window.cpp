#include "shell/agreement_window.h"

#include <QFile>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

#include "files/replace_file.h"
#include "mainwindow/guarded.h"

namespace varnex {

namespace {

// Places in twips (left, top, width, height); 15 twips make one pixel at 96 dots per inch.
QRect twips(int left, int top, int width, int height) { return {left / 15, top / 15, width / 15, height / 15}; }

// The marker's whole content: four blanks and a CR LF line end.
constexpr char kMarkerContent[] = "    \r\n";

}  // namespace

QString agreement_marker_path(const QString& app_folder) { return app_folder + "/kvt.rss"; }

std::string write_agreement_marker(const QString& app_folder) {
    // Whole or not at all: a full disk leaves no empty or cut-off marker that would count as agreed.
    try {
        write_whole_file(QFile::encodeName(agreement_marker_path(app_folder)).toStdString(), kMarkerContent);
        return {};
    } catch (const SystemFileError& e) {
        return failure_reason(e.code());
    } catch (const std::bad_alloc&) {
        return failure_reason(ENOMEM);
    }
}

bool agreement_marker_exists(const QString& app_folder) {
    // Only a whole marker counts: an ordinary file holding exactly its six bytes.
    const std::string path = QFile::encodeName(agreement_marker_path(app_folder)).toStdString();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char bytes[sizeof kMarkerContent] = {};
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, f);
    std::fclose(f);
    return got == sizeof kMarkerContent - 1 && std::memcmp(bytes, kMarkerContent, got) == 0;
}

QString agreement_text() {
    // One entry per line; the empty entries are the blank lines between the blocks.
    const QStringList lines = {
        "VARNEX SOLVER END-USER LICENSE AGREEMENT",
        "",
        "Please read this agreement before you use VARNEX SOLVER. If you do",
        "not accept its terms, choose \"I do not agree\" and the program ends.",
        "",
        "1. Rights of use",
        "",
        "VARNEX grants you a non-exclusive right to install this copy of",
        "VARNEX SOLVER on your computers and to use it for your own work.",
        "",
        "2. Limitations",
        "",
        "You may not sell, rent or lend the program, nor pass it on as part",
        "of another product, without the written consent of VARNEX. You may",
        "not change, decompile or disassemble the program, nor remove its",
        "name, this agreement or any notice of VARNEX from it.",
        "3. Terms",
        "",
        "This agreement holds until you delete every copy of the program.",
        "",
        "4. Ownership of the intellectual property",
        "",
        "VARNEX SOLVER, its code, its guide and its name belong to VARNEX.",
        "This agreement gives you a right of use only, no ownership.",
        "",
        "5. Limitation of liability",
        "",
        "The program is provided \"as is\", without warranty of any kind.",
        "Results in single precision may be inexact: check them before use.",
        "VARNEX is not liable for any loss arising from the program's use.",
    };
    return lines.join("\r\n");
}

FrmAgreement::FrmAgreement(const QString& app_folder, MessageBoxes& box, std::function<void()> end_program)
    : app_folder_(app_folder), box_(box), end_program_(std::move(end_program)) {
    setObjectName("frmAgreement");
    setWindowTitle("Agreement");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(8190 / 15, 7785 / 15);

    cmdYes = new QPushButton("I agree", this);
    cmdYes->setObjectName("cmdYes");
    cmdYes->setGeometry(twips(960, 7080, 1215, 495));

    cmdNo = new QPushButton("I do not agree", this);
    cmdNo->setObjectName("cmdNo");
    cmdNo->setGeometry(twips(5760, 7080, 1215, 495));

    txtAgreement = new QPlainTextEdit(this);
    txtAgreement->setObjectName("txtAgreement");
    txtAgreement->setGeometry(twips(600, 720, 6735, 5895));
    txtAgreement->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtAgreement->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtAgreement->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab moves on to the next control, as in the other text boxes of the program.
    txtAgreement->setTabChangesFocus(true);

    // No default button. QDialog would make the first auto-default button after the focus its default,
    // so both are plain buttons and keyPressEvent lets Enter press the one that holds the focus.
    for (QPushButton* b : {cmdYes, cmdNo}) {
        b->setDefault(false);
        b->setAutoDefault(false);
    }
    // The captions must fit the designed widths; a font larger than the designed one is made smaller
    // until the longer caption fits, and both buttons take that one font.
    QFont f = cmdYes->font();
    auto fits = [&f](const QPushButton* b) { return QFontMetrics(f).horizontalAdvance(b->text()) + 10 <= b->width(); };
    while (f.pointSizeF() > 6 && !(fits(cmdYes) && fits(cmdNo))) f.setPointSizeF(f.pointSizeF() - 0.5);
    cmdYes->setFont(f);
    cmdNo->setFont(f);
    // The plain style draws the handle lighter than its groove, so that a handle filling most of the
    // track reads as a short one at the other end: here the groove is light and the handle dark.
    txtAgreement->verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: palette(base); border: 1px solid palette(mid); width: 15px; }"
        "QScrollBar::handle:vertical { background: palette(dark); min-height: 20px; margin: 1px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));
    setTabOrder(cmdYes, cmdNo);
    setTabOrder(cmdNo, txtAgreement);

    connect(cmdYes, &QPushButton::clicked, this, &FrmAgreement::cmdYes_Click);
    connect(cmdNo, &QPushButton::clicked, this, &FrmAgreement::cmdNo_Click);

    Form_Load();
    cmdYes->setFocus();
}

void FrmAgreement::Form_Load() {
    txtAgreement->setPlainText(agreement_text());
    // The window opens on the title of the text, with the scroll bar at the top.
    txtAgreement->moveCursor(QTextCursor::Start);
    txtAgreement->verticalScrollBar()->setValue(0);
}

void FrmAgreement::cmdYes_Click() {
    guarded([this] {
        const QString path = agreement_marker_path(app_folder_);
        const std::string why = write_agreement_marker(app_folder_);
        if (!why.empty()) {
            box_.message(("The file " + path + " could not be written (" + QString::fromStdString(why) +
                          "), so the agreement will be asked for again at the next start.")
                             .toStdString());
        }
    });
    accept();
}

void FrmAgreement::cmdNo_Click() {
    guarded([this] { end_program_(); });
    reject();
}

void FrmAgreement::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        // Enter presses the focused button; a button passes the key on to us when it is not a default.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) button->click();
        event->accept();
        return;
    }
    // The window has no cancel button: Escape does not close it.
    if (mods == Qt::NoModifier && key == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace varnex
