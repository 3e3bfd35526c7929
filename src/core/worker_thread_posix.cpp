#include "core/worker_thread.h"

#include <thread>

namespace nimbard {

struct JoinableThread::Handle {
  std::thread thread;
};

namespace {

void RunWork(const std::function<void()>& work) noexcept {
  try {
    work();
  } catch (...) {
  }
}

}  // namespace

bool StartDetachedThread(std::function<void()> work) noexcept {
  try {
    std::thread([work = std::move(work)] { RunWork(work); }).detach();
    return true;
  } catch (...) {
    return false;
  }
}

JoinableThread::JoinableThread() = default;

JoinableThread::~JoinableThread() { Join(); }

bool JoinableThread::Start(std::function<void()> work) noexcept {
  Join();
  try {
    if (!handle_) handle_ = std::make_unique<Handle>();
    handle_->thread = std::thread([work = std::move(work)] { RunWork(work); });
    return true;
  } catch (...) {
    return false;
  }
}

void JoinableThread::Join() noexcept {
  if (Joinable()) handle_->thread.join();
}

bool JoinableThread::Joinable() const noexcept { return handle_ && handle_->thread.joinable(); }

}  // namespace nimbard
