// Runs the body of a long command as a job: on a worker thread while the
// event loop goes on, so that the window keeps painting and the progress
// dialog's Cancel is heard; the body stops at its next entry when asked
// (archive/Cancel.h). The window's commands and their tests share one runner;
// a runner made Inline runs bodies on the calling thread, as tests may want.
#pragma once

#include <QObject>

#include <functional>
#include <stop_token>

class TfrmProgress;

// What a running body sees.
class TJob {
public:
    // Asked by the core before each entry.
    std::stop_token Stop() const { return stop_; }
    // Runs `show` on the window's thread, in order with the other calls:
    // progress is shown so. `show` must own what it uses.
    void OnWindow(std::function<void()> show) const;

private:
    friend class TJobRunner;
    TJob(std::stop_token stop, QObject* window) : stop_(std::move(stop)), window_(window) {}
    std::stop_token stop_;
    QObject* window_; // nullptr: the body runs on the window's thread
};

class TJobRunner : public QObject {
    Q_OBJECT
public:
    enum class TMode { Worker, Inline };
    explicit TJobRunner(TMode mode, QObject* parent = nullptr);
    ~TJobRunner() override;

    // Runs `body` and returns once it has ended, rethrowing what it threw
    // (ECancelled when it was cancelled). With a `progress` dialog, its Cancel,
    // Escape and closing it cancel the job; the calls the body made through
    // OnWindow are all shown before this returns. One job at a time: the
    // window's rules disable the commands while Running().
    void Run(TfrmProgress* progress, const std::function<void(const TJob&)>& body);
    bool Running() const { return running_; }
    // Asks the running job to stop at its next entry; nothing when none runs.
    void Cancel();

signals:
    // A job began or ended: the window asks its rules again.
    void RunningChanged();

private:
    TMode mode_;
    bool running_ = false;
    std::stop_source stop_;
};

// A runner of the Inline kind, for bodies run where no window's runner is
// given (the command bodies' own tests).
TJobRunner& InlineRunner();
