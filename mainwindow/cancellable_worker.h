#pragma once
// One job at a time on a worker thread, its result handed back on the window's thread.
//
// run(job, done) starts job(cancel) on a new thread; job returns std::optional<T>, empty when it
// noticed `cancel` and stopped. A result is posted to the owner's event queue while the lock is
// held, and done(T) then runs there, guarded, unless cancel() withdrew it first. cancel() sets the
// flag, joins the thread and drops a result not yet taken; it takes the same lock as the post, so
// once it returns no post can reach an owner that is going away.
#include <QMetaObject>
#include <QObject>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "mainwindow/guarded.h"

namespace varnex {

template <class T>
class CancellableWorker {
  public:
    /// Results are delivered through `owner`'s event queue; the owner holds the worker.
    explicit CancellableWorker(QObject* owner) : owner_(owner) {}
    ~CancellableWorker() { cancel(); }
    CancellableWorker(const CancellableWorker&) = delete;
    CancellableWorker& operator=(const CancellableWorker&) = delete;

    bool busy() const { return thread_.joinable(); }

    /// Starts `job` after cancelling one under way. Throws std::system_error when no thread can be had.
    template <class Job, class Done>
    void run(Job job, Done done) {
        cancel();
        thread_ = std::thread([this, job = std::move(job), done = std::move(done)]() mutable {
            std::optional<T> result = job(cancel_);
            std::lock_guard<std::mutex> lock(mutex_);
            if (!result || cancel_.load()) return;
            result_ = std::move(result);
            QMetaObject::invokeMethod(
                owner_, [this, done = std::move(done)]() mutable { deliver(done); }, Qt::QueuedConnection);
        });
    }

    void cancel() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cancel_.store(true);
        }
        thread_.join();
        std::lock_guard<std::mutex> lock(mutex_);
        cancel_.store(false);
        result_.reset();
    }

  private:
    template <class Done>
    void deliver(Done& done) {
        guarded([&] {
            std::optional<T> result;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                // A result withdrawn by cancel() after it was posted.
                if (!result_) return;
                result.swap(result_);
            }
            thread_.join();  // the thread has posted and is returning
            done(std::move(*result));
        });
    }

    QObject* owner_;
    std::thread thread_;
    std::atomic<bool> cancel_{false};
    std::mutex mutex_;  // guards result_
    std::optional<T> result_;
};

}  // namespace varnex
