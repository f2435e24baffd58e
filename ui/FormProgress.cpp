#include "ui/FormProgress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QWindow>

namespace {

constexpr int Margin = 8;
constexpr int ClientWidth = 265;
constexpr int ClientHeight = 74;
constexpr int LineHeight = 13; // of the designed font; a taller font moves the rest down
constexpr int ExposeWaitMs = 1000;

int repaintIntervalMs = 16; // about one frame of the screen

// The bar paints itself at once whenever its filled width changes; here only
// Step decides when the dialog is painted.
template <typename Change> void WithoutPainting(QWidget* widget, Change&& change) {
    widget->setUpdatesEnabled(false);
    change();
    widget->setUpdatesEnabled(true); // queues an update, nothing painted now
}

} // namespace

TfrmProgress::TfrmProgress(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      ProgressBar1(new QProgressBar(this)), lblLine1(new QLabel(this)), lblLine2(new QLabel(this)),
      btnCancel(new QPushButton(tr("Cancel"), this)) {
    setObjectName("frmProgress");
    setWindowTitle(QString());
    setModal(false);
    // The labels are as high as the font's lines, descenders included.
    const int lineHeight = std::max(LineHeight, fontMetrics().height());
    const int extra = lineHeight - LineHeight;
    fixedSize_ = QSize(ClientWidth + 2 * Margin, ClientHeight + 2 * extra + 2 * Margin);
    setFixedSize(fixedSize_);

    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setGeometry(Margin, Margin + 20 + extra, ClientWidth, 16);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    lblLine1->setObjectName("lblLine1");
    lblLine1->setGeometry(Margin, Margin, ClientWidth, lineHeight);
    lblLine1->setText(tr("Adding File(s)..."));

    lblLine2->setObjectName("lblLine2");
    lblLine2->setGeometry(Margin, Margin + 45 + extra, ClientWidth, lineHeight);

    btnCancel->setObjectName("btnCancel");
    btnCancel->setAutoDefault(false);
    btnCancel->hide();
    connect(btnCancel, &QPushButton::clicked, this, &TfrmProgress::reject);
}

void TfrmProgress::SetCancel(std::function<void()> cancel) {
    cancel_ = std::move(cancel);
    if (!cancel_) {
        btnCancel->hide();
        setFixedSize(fixedSize_);
        return;
    }
    const QSize button = btnCancel->sizeHint();
    btnCancel->setGeometry(fixedSize_.width() - Margin - button.width(), fixedSize_.height(),
                           button.width(), button.height());
    setFixedSize(fixedSize_.width(), fixedSize_.height() + button.height() + Margin);
    btnCancel->show();
    if (isVisible())
        PaintNow(); // on screen at its new size before the job starts
}

void TfrmProgress::reject() {
    if (cancel_) {
        btnCancel->setEnabled(false); // asked once; the job stops at its next entry
        cancel_();
    }
}

void TfrmProgress::ShowNow() {
    show();
    // A window is on screen only once the window system has mapped it, a moment
    // after show(), and what is painted before then is lost. Its notices (never
    // user input) are let through until then, for a second at most; the owner
    // window repaints meanwhile too, where a closed file dialog stood over it.
    const QDeadlineTimer deadline(ExposeWaitMs);
    while (!IsExposed() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (!IsExposed())
            QThread::msleep(2);
    }
    PaintNow();
}

bool TfrmProgress::IsExposed() const {
    return windowHandle() && windowHandle()->isExposed();
}

void TfrmProgress::SetLine1(const QString& text) {
    lblLine1->setText(text);
}

void TfrmProgress::SetLine2(const QString& text) {
    lblLine2->setText(text);
}

void TfrmProgress::SetMax(int maximum) {
    WithoutPainting(ProgressBar1, [&] { ProgressBar1->setMaximum(maximum); });
}

void TfrmProgress::SetPosition(int position) {
    WithoutPainting(ProgressBar1, [&] { ProgressBar1->setValue(position); });
}

void TfrmProgress::SetRepaintInterval(int milliseconds) {
    repaintIntervalMs = milliseconds;
}

void TfrmProgress::Step() {
    StepTo(ProgressBar1->value() + 1);
}

void TfrmProgress::StepTo(int position) {
    SetPosition(position);
    const bool full = ProgressBar1->value() >= ProgressBar1->maximum();
    if (!full && lastPaint_.isValid() && lastPaint_.elapsed() < repaintIntervalMs)
        return;
    // The caller does not return to the event loop between files, so this is
    // the only painting the dialog gets while the operation runs.
    PaintNow();
}

void TfrmProgress::PaintNow() {
    // Not yet on screen: one round of the window system's notices may bring it.
    if (!IsExposed())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    repaint();
    lastPaint_.start();
}

void TfrmProgress::closeEvent(QCloseEvent* event) {
    event->ignore();
    reject();
}

void TfrmProgress::showEvent(QShowEvent* event) {
    if (QWidget* owner = parentWidget()) {
        QRect frame = frameGeometry();
        frame.moveCenter(owner->window()->frameGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}
