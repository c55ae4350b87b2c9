// The main window's controls as designed: the grid, the entry rows with their index selectors, the
// solve area, the "Go to x(i)" box in the status bar; their tab order and their binding to the
// commands' seams.
#include <QAbstractButton>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleOptionHeader>
#include <QStylePainter>
#include <QTableView>

#include "core/convert.h"
#include "core/errors.h"
#include "mainwindow/cell_editing.h"
#include "mainwindow/client_area.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/grid_table_model.h"
#include "mainwindow/grid_view.h"

namespace varnex {

namespace {

// Positions are designed in twips; at 96 dots per inch 15 twips make one pixel.
constexpr int px(int twips) { return twips / 15; }

template <class W>
W* place(W* w, const char* name, int left, int top, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(px(left), px(top), px(width), px(height));
    return w;
}

// The name of element k of a control array, as "txtIndex(1)".
QByteArray indexed(const char* name, int k) { return QByteArray(name) + '(' + QByteArray::number(k) + ')'; }

// Makes the window's labels, boxes and buttons, each named and placed in twips; labels go on the
// client area, boxes and buttons on the parent given.
class Designer {
  public:
    Designer(QWidget* window, QWidget* client) : window_(window), client_(client), bold_(window->font()) {
        bold_.setBold(true);
    }

    QLabel* label(const char* name, const char* caption, int l, int t, int w, int h, bool is_bold) const {
        QLabel* lbl = place(new QLabel(QString::fromLatin1(caption), client_), name, l, t, w, h);
        lbl->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (is_bold) lbl->setFont(bold_);
        // The designed widths were measured with a narrower font: a one-line caption may run on into
        // the free space after it rather than wrap or lose its last letters.
        const int needed = lbl->fontMetrics().horizontalAdvance(lbl->text()) + 2;
        if (needed > lbl->width()) lbl->resize(needed, lbl->height());
        return lbl;
    }
    QLineEdit* edit(const char* name, const char* text, int l, int t, int w, int h, QWidget* parent) const {
        QLineEdit* e = place(new QLineEdit(QString::fromLatin1(text), parent), name, l, t, w, h);
        e->installEventFilter(window_);  // lets the menu's shortcuts win over the box's own keys
        return e;
    }
    QPushButton* button(const char* name, const char* caption, int l, int t, int w, int h, QWidget* parent) const {
        QPushButton* b = place(new QPushButton(QString::fromLatin1(caption), parent), name, l, t, w, h);
        b->setAutoDefault(false);
        return b;
    }

  private:
    QWidget* window_;
    QWidget* client_;
    QFont bold_;
};

}  // namespace

QStatusBar* FrmMain::build_frame() {
    // The designed default font of the window: the sans family at 8.25 pt.
    QFont base = QApplication::font();
    base.setPointSizeF(8.25);
    setFont(base);

    // The designed client area is also the smallest: the window can grow and be maximized.
    client_ = new ClientArea(QSize(px(10395), px(5850)), this);
    client_->setObjectName(QStringLiteral("client"));
    setCentralWidget(client_);
    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("staStatus"));
    setStatusBar(status);
    return status;
}

void FrmMain::build_grid(QWidget* client) {
    model_ = new GridTableModel(app_.grid, this);
    msfgData_ = place(new QTableView(client), "msfgData", 240, 360, 9975, 2535);
    msfgData_->setModel(model_);
    // One rectangle of cells at a time, for Copy and Paste.
    msfgData_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    msfgData_->setWordWrap(false);
    set_up_grid_view(msfgData_);
    set_up_cell_editing(msfgData_, this);

    // Cell (0, 0) belongs to neither header: the corner button shows it.
    corner_ = msfgData_->findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    if (corner_) {
        corner_->installEventFilter(this);
        connect(model_, &GridTableModel::cornerChanged, corner_, qOverload<>(&QWidget::update));
    }
}

void FrmMain::build_controls(QWidget* c) {
    build_entry_rows(c);
    build_index_selectors(c);
    build_solve_area(c);
}

// The rows of N, a(i,j) and b(i): caption, box and Accept button.
void FrmMain::build_entry_rows(QWidget* c) {
    const Designer d(this, c);
    d.label("lblN", "N=", 480, 3120, 375, 255, true);
    txtN_ = d.edit("txtN", "", 960, 3120, 735, 285, c);
    cmdN_ = d.button("cmdN", "Accept N", 4800, 3000, 1095, 375, c);
    d.label("lblA", "A (", 480, 3840, 255, 375, true);
    d.label("lblA1", ",", 1680, 3840, 135, 255, true);
    d.label("lblA2", ") =", 2760, 3840, 255, 375, true);
    txtA_ = d.edit("txtA", "", 3120, 3720, 1335, 375, c);
    cmdA_ = d.button("cmdA", "Accept A(i,j)", 4800, 3720, 1095, 375, c);
    d.label("lblB", "B (", 480, 5040, 255, 255, true);
    d.label("lblB1", ") =", 1680, 5040, 255, 255, true);
    txtB_ = d.edit("txtB", "", 3120, 4920, 1335, 375, c);
    cmdB_ = d.button("cmdB", "Accept B(i)", 4800, 4920, 1095, 375, c);
}

// The three index selectors: i and j of a(i,j), i of b(i).
void FrmMain::build_index_selectors(QWidget* c) {
    const Designer d(this, c);
    const int frame_left[3] = {840, 1920, 840};
    const int frame_top[3] = {3600, 3600, 4800};
    for (int k = 0; k < 3; ++k) {
        QFrame* f = place(new QFrame(c), indexed("frmIndex", k).constData(), frame_left[k], frame_top[k], 735, 975);
        f->setFrameStyle(QFrame::Box | QFrame::Sunken);
        frmIndex_[k] = f;
        txtIndex_[k] = d.edit(indexed("txtIndex", k).constData(), "1", 120, 240, 375, 285, f);
        cmdDown_[k] = d.button(indexed("cmdDown", k).constData(), "<", 120, 600, 255, 255, f);
        cmdUp_[k] = d.button(indexed("cmdUp", k).constData(), ">", 360, 600, 255, 255, f);
    }
}

// Line1, which divides the entry area from the solve area, and the solve area.
void FrmMain::build_solve_area(QWidget* c) {
    const Designer d(this, c);
    QFrame* line = new QFrame(c);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameStyle(QFrame::VLine | QFrame::Plain);
    line->setGeometry(px(6240) - 1, px(3000), 3, px(5760 - 3000));

    cmdSolution_ = d.button("cmdSolution", "Find  solution", 7200, 3120, 1335, 375, c);
    cmdIter_ = d.button("cmdIter", "Next Iteration", 7200, 3600, 1335, 375, c);
    cmdIter_->setEnabled(false);  // designed disabled; "Accept N", Open or Connect enable it
    d.label("lblEps", "Desired accuracy", 6480, 4320, 1455, 255, false);
    txtEps_ = d.edit("txtEps", "0.5", 8280, 4200, 1935, 375, c);
    QLabel* time = d.label("lblTime", "Duration of the  last operation", 6480, 4800, 1455, 375, false);
    time->setWordWrap(true);  // designed as two lines in its box
    time->resize(px(1455), px(375));
    txtTime_ = d.edit("txtTime", "", 8280, 4800, 1815, 375, c);
    d.label("lblEr", "Current accuracy", 6480, 5520, 1335, 255, false);
    txtEr_ = d.edit("txtEr", "", 8280, 5400, 1935, 375, c);
}

void FrmMain::set_tab_order() {
    // The designed order; the controls of a selector follow where their frame stands.
    QList<QWidget*> order{msfgData_, txtN_, cmdN_};
    auto selector = [&](int k) { order << txtIndex_[k] << cmdDown_[k] << cmdUp_[k]; };
    selector(0);
    selector(1);
    order << txtA_ << cmdA_;
    selector(2);
    order << txtB_ << cmdB_ << cmdSolution_ << cmdIter_ << txtEps_ << txtTime_ << txtEr_;
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
    msfgData_->setFocus();
}

void FrmMain::bind_controls() {
    controls_.bind(Ctl::txtN, txtN_);
    controls_.bind(Ctl::txtA, txtA_);
    controls_.bind(Ctl::txtB, txtB_);
    controls_.bind(Ctl::txtEps, txtEps_);
    controls_.bind(Ctl::txtEr, txtEr_);
    controls_.bind(Ctl::txtTime, txtTime_);
    for (int k = 0; k < 3; ++k) controls_.bind(txt_index(k), txtIndex_[k]);
    controls_.bind(Ctl::cmdN, cmdN_);
    controls_.bind(Ctl::cmdA, cmdA_);
    controls_.bind(Ctl::cmdB, cmdB_);
    controls_.bind(Ctl::cmdSolution, cmdSolution_);
    controls_.bind(Ctl::cmdIter, cmdIter_);
}

void FrmMain::build_go_to(QStatusBar* status) {
    auto* label = new QLabel(QStringLiteral("Go to x(i)"), status);
    label->setObjectName(QStringLiteral("lblGoTo"));
    txtGoTo_ = new QLineEdit(status);
    txtGoTo_->setObjectName(QStringLiteral("txtGoTo"));
    txtGoTo_->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
    txtGoTo_->setFixedHeight(fontMetrics().height() + 2);  // as tall as the bar's text: the bar keeps its height
    txtGoTo_->setToolTip(QStringLiteral("Type i and press Enter to show x(i)"));
    txtGoTo_->installEventFilter(this);  // the menu's shortcuts win over the box's own keys
    status->addPermanentWidget(label);
    status->addPermanentWidget(txtGoTo_);
}

void FrmMain::go_to_clicked() {
    // The index is read as every index of the window is; the grid's own row count bounds it.
    int i = 0;
    try {
        i = text_to_int16(txtGoTo_->text().toStdString());
    } catch (const RunError&) {
        app_.box->message(app_.st.msg.MsgBadNumber);
        return;
    }
    if (!go_to_x(msfgData_, i)) app_.box->message(" Sorry, there is no x(" + int_to_text(i) + ") in the grid.");
}

void FrmMain::paint_corner() {
    QStylePainter painter(corner_);
    QStyleOptionHeader opt;
    opt.initFrom(corner_);
    opt.rect = corner_->rect();
    opt.position = QStyleOptionHeader::OnlyOneSection;
    opt.orientation = Qt::Horizontal;
    opt.state |= QStyle::State_Raised;
    opt.text = model_->cornerText();
    opt.textAlignment = Qt::AlignCenter;
    painter.drawControl(QStyle::CE_Header, opt);
}

}  // namespace varnex
