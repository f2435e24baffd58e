// The small modeless window that counts the files of a long operation (adding,
// extracting). The operation runs without returning to the event loop, so Step()
// paints the window itself; the user cannot close it.
#pragma once

#include <QDialog>
#include <QElapsedTimer>

#include <functional>

class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QShowEvent;

class TfrmProgress : public QDialog {
    Q_OBJECT

public:
    // `owner` is the main window: the dialog is centred over it when shown.
    explicit TfrmProgress(QWidget* owner);

    // Shows the dialog and paints it at once, as the caller has set it up: the
    // caller's work starts right after and gives the event loop no chance.
    void ShowNow();

    // The setters do not repaint: what they set shows at the next Step().
    void SetLine1(const QString& text);
    void SetLine2(const QString& text);
    void SetMax(int maximum);
    void SetPosition(int position);
    // Advances the bar by one and paints the whole dialog at once, unless it was
    // painted less than the repaint interval ago; the step that fills the bar is
    // always painted.
    void Step();
    // Moves the bar to `position` and paints as Step() does.
    void StepTo(int position);

    // A paint costs far more than adding a small file, so painting more often
    // than the screen can show would slow the operation down for nothing. Tests
    // set 0 to see every step painted.
    static void SetRepaintInterval(int milliseconds);

    // While a job runs off the window's thread: a Cancel button under the
    // second line, and Escape and closing the dialog, call `cancel`. Empty: the
    // button goes and the dialog refuses every close again.
    void SetCancel(std::function<void()> cancel);

    QProgressBar* ProgressBar1;
    QLabel* lblLine1;
    QLabel* lblLine2;
    QPushButton* btnCancel;

public slots:
    // Escape lands here; the dialog stays, and cancels the job when it can.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override; // FormCloseQuery: refuses every close
    void showEvent(QShowEvent* event) override;

private:
    bool IsExposed() const;
    void PaintNow();

    QElapsedTimer lastPaint_; // invalid until the dialog is first painted
    std::function<void()> cancel_;
    QSize fixedSize_; // without the Cancel button
};
