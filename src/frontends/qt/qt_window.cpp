#include "frontends/qt/qt_window.h"

#include "ui/design.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>
#include <exception>

namespace norvane::qt {

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

namespace design = ui::design;

QFont WindowFont() {
    // Tahoma is what the product's users have; elsewhere the system's sans serif stands in.
    QFont font = QFontDatabase::families().contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive)
                     ? QFont(QStringLiteral("Tahoma"))
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    font.setBold(false);
    return font;
}

QFrame* MakePanel(QWidget* parent, QFrame::Shadow bevel) {
    auto* panel = new QFrame(parent);
    if (bevel == QFrame::Plain) {
        panel->setFrameShape(QFrame::NoFrame);
    } else {
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(bevel);
        panel->setLineWidth(1);
    }
    return panel;
}

enum class Weight { Normal, Bold };

QLabel* MakeLabel(QWidget* parent, const char* text, Weight weight, int left, int top) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setTextFormat(Qt::PlainText);
    if (weight == Weight::Bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    label->move(left, top);
    label->adjustSize();
    return label;
}

// The bar shows no text, yet Qt formats it in the user's locale on every value change, which
// costs more than the rest of a script line's handling; it is left empty.
class TextlessProgressBar : public QProgressBar {
public:
    using QProgressBar::QProgressBar;
    QString text() const override { return {}; }
};

QLabel* MakeVersionLabel(QWidget* parent, const design::Box& box) {
    QLabel* label = MakeLabel(parent, "-", Weight::Bold, box.left, box.top);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(box.left, box.top, box.width, box.height);
    return label;
}

} // namespace

// Qt owns the controls through their parents; the window deletes them with itself.
QtWindow::QtWindow() {
    setWindowTitle(QString::fromUtf8("Оновлення"));
    setFont(WindowFont());
    CreateControls();
    resize(design::Width, design::Height);
    move(0, 0);
    ApplyAnchors();

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    QObject::connect(escape, &QShortcut::activated, this, [this] { EscapePressed(); });
}

QtWindow::~QtWindow() = default;

void QtWindow::CreateControls() {
    m_plInfo = MakePanel(this, QFrame::Plain);
    m_memo = new QPlainTextEdit(m_plInfo);
    // Nothing reads the memo back, and typing into it would only confuse the marks.
    m_memo->setReadOnly(true);
    m_memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QPalette memoPalette = m_memo->palette();
    memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::ToolTipBase));
    memoPalette.setColor(QPalette::Text, memoPalette.color(QPalette::ToolTipText));
    m_memo->setPalette(memoPalette);

    m_panel3 = MakePanel(this, QFrame::Raised);
    m_panel4 = MakePanel(m_panel3, QFrame::Plain);
    m_label1 =
        MakeLabel(m_panel4, "Поточна версія", Weight::Bold, design::Label1Left, design::Label1Top);
    m_lCurVer = MakeVersionLabel(m_panel4, design::lCurVer);
    m_panel5 = MakePanel(m_panel3, QFrame::Plain);
    m_label2 =
        MakeLabel(m_panel5, "Доступна версія", Weight::Bold, design::Label1Left, design::Label1Top);
    m_lActVer = MakeVersionLabel(m_panel5, design::lActVer);

    m_plUp = MakePanel(this, QFrame::Plain);
    m_lUpdate = MakeLabel(m_plUp, "Встановлення оновлення", Weight::Bold, design::plUpLeft,
                          design::lUpdateTop);
    m_lUpdate->hide();
    m_progressBar2 = new TextlessProgressBar(m_plUp);
    m_progressBar2->setTextVisible(false);
    m_progressBar2->setRange(0, 100);
    m_progressBar2->setValue(0);
    m_lTextFile = MakeLabel(m_plUp, "Обробока файла:", Weight::Normal, design::plUpLeft,
                            design::lTextFileTop);
    m_lTextFile->hide();
    m_lFile = MakeLabel(m_plUp, "lFile", Weight::Normal, design::plUpLeft, design::lFileTop);
    m_lFile->hide();
    m_lUpdateTime =
        MakeLabel(m_plUp, m_timeCaption.c_str(), Weight::Normal, 0, design::lUpdateTimeTop);
    m_lUpdateTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_lUpdateTime->hide();

    m_panel2 = MakePanel(this, QFrame::Raised);
    m_btOK = new QPushButton(QString::fromUtf8("Оновить"), m_panel2);
    m_btOK->setEnabled(false);
    m_btCancel = new QPushButton(QString::fromUtf8("Зачинити"), m_panel2);
    QObject::connect(m_btOK, &QPushButton::clicked, this, [this] { ClickOK(); });
    QObject::connect(m_btCancel, &QPushButton::clicked, this, [this] { ClickCancel(); });

    setTabOrder(m_memo, m_btOK);
    setTabOrder(m_btOK, m_btCancel);
}

void QtWindow::ApplyAnchors() {
    const int w = width();
    const int h = height();

    // The bottom panels keep their heights; plInfo takes what is left above them.
    const int infoHeight = std::max(0, h - design::BottomPanelsHeight);
    m_plInfo->setGeometry(0, 0, w, infoHeight);
    m_panel3->setGeometry(0, infoHeight, w, design::Panel3Height);
    m_plUp->setGeometry(0, infoHeight + design::Panel3Height, w, design::plUpHeight);
    m_panel2->setGeometry(0, infoHeight + design::Panel3Height + design::plUpHeight, w,
                          design::Panel2Height);

    const design::Box& memo = design::Memo2;
    m_memo->setGeometry(memo.left, memo.top, std::max(0, w - memo.left - design::MemoRightGap),
                        std::max(0, infoHeight - memo.top - design::MemoBottomGap));

    // Panel3's bevel insets the rows docked inside it.
    const int bevel = design::Panel3Bevel;
    const int rowWidth = std::max(0, w - 2 * bevel);
    m_panel4->setGeometry(bevel, bevel, rowWidth, design::VersionRowHeight);
    m_panel5->setGeometry(bevel, bevel + design::VersionRowHeight, rowWidth,
                          design::VersionRowHeight);

    const design::Box& bar = design::ProgressBar2;
    m_progressBar2->setGeometry(bar.left, bar.top,
                                std::max(0, w - bar.left - design::ProgressRightGap), bar.height);
    m_lUpdateTime->move(w - design::TimeRightGap - m_lUpdateTime->width(), design::lUpdateTimeTop);

    m_btOK->setGeometry(w - design::OKRightGap, design::btOK.top, design::btOK.width,
                        design::btOK.height);
    m_btCancel->setGeometry(w - design::CancelRightGap, design::btCancel.top,
                            design::btCancel.width, design::btCancel.height);
}

void QtWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ApplyAnchors();
}

void QtWindow::closeEvent(QCloseEvent* event) {
    if (DeferClose()) {
        event->ignore();
        return;
    }
    event->accept();
}

void QtWindow::EscapePressed() {
    if (m_btCancel->isEnabled() && m_btCancel->isVisible())
        m_btCancel->click();
}

void QtWindow::ShowAfterChecks() {
    show();
}

void QtWindow::ExecBox(QMessageBox& box) {
    if (m_paintOwed)
        PaintNow();
    // The window behind the box paints as usual while the box is up.
    ++m_openBoxes;
    struct Closed {
        int& boxes;
        ~Closed() { --boxes; }
    } closed{m_openBoxes};
    box.exec();
}

void QtWindow::ShowError(std::string_view text) {
    QMessageBox box(QMessageBox::Critical, windowTitle(), FromUtf8(text), QMessageBox::Ok, this);
    ExecBox(box);
}

void QtWindow::ShowMessageBox(std::string_view text, ui::MessageKind kind) {
    const bool warning = kind == ui::MessageKind::Warning;
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Critical,
                    QString::fromUtf8(warning ? "Попередження" : "Помилка"), FromUtf8(text),
                    QMessageBox::Ok, this);
    ExecBox(box);
}

void QtWindow::AddStatus(std::string_view text) {
    QTextCursor cursor(m_memo->document());
    cursor.movePosition(QTextCursor::End);
    if (!m_memoEmpty)
        cursor.insertBlock();
    cursor.insertText(FromUtf8(text));
    m_memoEmpty = false;
    m_memo->verticalScrollBar()->setValue(m_memo->verticalScrollBar()->maximum());
}

void QtWindow::MarkStatus(std::string_view text) {
    // The document's own cursor, not the view's caret: the mark always lands on the last line.
    QTextCursor cursor(m_memo->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(FromUtf8(text));
    m_memoEmpty = false;
}

std::string QtWindow::MemoText() const {
    std::string text;
    if (m_memoEmpty)
        return text;
    for (QTextBlock block = m_memo->document()->begin(); block.isValid(); block = block.next()) {
        text += block.text().toStdString();
        text += "\r\n";
    }
    return text;
}

QWidget* QtWindow::Widget(ui::Control control) const {
    switch (control) {
    case ui::Control::plUp:
        return m_plUp;
    case ui::Control::lCurVer:
        return m_lCurVer;
    case ui::Control::lActVer:
        return m_lActVer;
    case ui::Control::lUpdate:
        return m_lUpdate;
    case ui::Control::ProgressBar2:
        return m_progressBar2;
    case ui::Control::lTextFile:
        return m_lTextFile;
    case ui::Control::lFile:
        return m_lFile;
    case ui::Control::lUpdateTime:
        return m_lUpdateTime;
    case ui::Control::btOK:
        return m_btOK;
    case ui::Control::btCancel:
        return m_btCancel;
    }
    return nullptr;
}

void QtWindow::SetCaption(ui::Control control, std::string_view text) {
    // The time label is written on every script line and mostly keeps its text.
    if (control == ui::Control::lUpdateTime) {
        if (text == m_timeCaption)
            return;
        m_timeCaption = text;
    }
    QWidget* widget = Widget(control);
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        button->setText(FromUtf8(text));
        return;
    }
    auto* label = qobject_cast<QLabel*>(widget);
    if (label == nullptr)
        return;
    label->setText(FromUtf8(text));
    // The version labels are fixed boxes; the others size to their text, and lUpdateTime
    // keeps its right edge where it was.
    if (label == m_lCurVer || label == m_lActVer)
        return;
    label->adjustSize();
    if (label == m_lUpdateTime)
        ApplyAnchors();
}

void QtWindow::SetVisible(ui::Control control, bool visible) {
    Widget(control)->setVisible(visible);
    NoteStepChanged();
}

void QtWindow::SetEnabled(ui::Control control, bool enabled) {
    Widget(control)->setEnabled(enabled);
    NoteStepChanged();
}

void QtWindow::ProgressChanged(int min, int max, int position) {
    m_bar = {min, max, position};
    m_barOwed = true;
    // Inside a handler the next pump decides whether the bar is painted now; the clock is
    // read there once a line, not here as well.
    if (HandlerRunning()) {
        m_paintOwed = true;
        return;
    }
    ApplyBar();
}

void QtWindow::ApplyBar() {
    if (!m_barOwed)
        return;
    m_barOwed = false;
    // Qt draws an empty range as a busy indicator; an empty bar is what is meant.
    if (m_bar.max <= m_bar.min) {
        m_progressBar2->setRange(0, 1);
        m_progressBar2->setValue(0);
        return;
    }
    m_progressBar2->setRange(m_bar.min, m_bar.max);
    m_progressBar2->setValue(m_bar.position);
}

bool QtWindow::HoldsPaint() const {
    return m_openBoxes == 0 && PaintHeld();
}

void QtWindow::NotePaint() {
    NotePainted();
    m_paintOwed = false;
}

bool QtWindow::event(QEvent* event) {
    // Every paint of the window's widgets, deferred (update) or immediate (repaint), comes to
    // the window as one update request; a request held back leaves the widgets marked dirty,
    // and Qt asks again only after the next paint.
    if (event->type() == QEvent::UpdateRequest) {
        if (HoldsPaint()) {
            m_paintOwed = true;
            return true;
        }
        ApplyBar();
        NotePaint();
    }
    return QWidget::event(event);
}

void QtWindow::PaintNow() {
    ApplyBar();
    NotePaint();
    QEvent request(QEvent::UpdateRequest);
    QWidget::event(&request);
}

void QtWindow::PumpMessages() {
    // Qt tells no cheaper than handling them whether events wait: the time decides alone.
    if (PumpSkipped(false))
        return;
    QCoreApplication::processEvents();
    if (m_paintOwed && !HoldsPaint())
        PaintNow();
}

void QtWindow::HandlerReturned() {
    if (m_paintOwed)
        PaintNow();
}

void QtWindow::Close() {
    close();
}

} // namespace norvane::qt
