#include "ui/JobRunner.h"

#include "ui/FormProgress.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <exception>
#include <memory>

void TJob::OnWindow(std::function<void()> show) const {
    if (!window_) {
        show();
        return;
    }
    QMetaObject::invokeMethod(window_, std::move(show), Qt::QueuedConnection);
}

TJobRunner::TJobRunner(TMode mode, QObject* parent) : QObject(parent), mode_(mode) {}

TJobRunner::~TJobRunner() = default;

void TJobRunner::Cancel() {
    if (running_)
        stop_.request_stop();
}

void TJobRunner::Run(TfrmProgress* progress, const std::function<void(const TJob&)>& body) {
    if (running_)
        throw std::logic_error("a job is already running");
    stop_ = std::stop_source();
    running_ = true;
    emit RunningChanged();
    if (progress)
        progress->SetCancel([this] { Cancel(); });
    std::exception_ptr failure;
    if (mode_ == TMode::Inline) {
        try {
            body(TJob(stop_.get_token(), nullptr));
        } catch (...) {
            failure = std::current_exception();
        }
    } else {
        // Progress goes to the dialog, or to the runner when there is none;
        // either lives until every call has been shown.
        QObject* shownOn = progress ? static_cast<QObject*>(progress) : this;
        const TJob job(stop_.get_token(), shownOn);
        std::unique_ptr<QThread> worker(QThread::create([&] {
            try {
                body(job);
            } catch (...) {
                failure = std::current_exception();
            }
        }));
        QEventLoop loop;
        connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
        worker->start();
        loop.exec();
        worker->wait();
        QCoreApplication::sendPostedEvents(shownOn, QEvent::MetaCall);
    }
    if (progress)
        progress->SetCancel({});
    running_ = false;
    emit RunningChanged();
    if (failure)
        std::rethrow_exception(failure);
}

TJobRunner& InlineRunner() {
    static TJobRunner runner(TJobRunner::TMode::Inline);
    return runner;
}
