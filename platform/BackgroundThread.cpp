// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/BackgroundThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace skycall {

struct BackgroundThread::Queue {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<Job> jobs;
  bool quit = false;
};

namespace {

void runJobs(std::shared_ptr<BackgroundThread::Queue> queue) {
  for (;;) {
    Background::Job job;
    {
      std::unique_lock<std::mutex> hold(queue->lock);
      queue->changed.wait(hold, [&] { return queue->quit || !queue->jobs.empty(); });
      if (queue->quit) return;
      job = std::move(queue->jobs.front());
      queue->jobs.pop_front();
    }
    Background::Result result;
    try {
      result = job();
    } catch (const std::exception&) {
      // A job reports its own failures in its result; one that throws leaves none.
    }
    if (!result) continue;
    std::lock_guard<std::mutex> hold(queue->lock);
    if (queue->quit) return;
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(result),
                              Qt::QueuedConnection);
  }
}

}  // namespace

BackgroundThread::BackgroundThread() : queue_(std::make_shared<Queue>()) {
  std::thread(runJobs, queue_).detach();
}

BackgroundThread::~BackgroundThread() {
  std::lock_guard<std::mutex> hold(queue_->lock);
  queue_->quit = true;
  queue_->changed.notify_all();
}

void BackgroundThread::run(Job job) {
  std::lock_guard<std::mutex> hold(queue_->lock);
  queue_->jobs.push_back(std::move(job));
  queue_->changed.notify_all();
}

}  // namespace skycall
