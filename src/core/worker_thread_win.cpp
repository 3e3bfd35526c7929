#include "core/worker_thread.h"

#include <windows.h>
#include <process.h>

#include "win32/unique_handle.h"

namespace nimbard {

struct JoinableThread::Handle {
  UniqueKernelHandle thread;
};

namespace {

unsigned __stdcall RunWork(void* parameter) {
  const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
  try {
    (*work)();
  } catch (...) {
    // Nothing may unwind out of a thread's entry.
  }
  return 0;
}

// The new thread owns `work` once this returns a handle.
UniqueKernelHandle StartThread(std::function<void()> work) noexcept {
  try {
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    UniqueKernelHandle thread(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &RunWork, owned.get(), 0, nullptr)));
    if (thread) owned.release();
    return thread;
  } catch (...) {
    return UniqueKernelHandle();  // no memory for the work's copy
  }
}

}  // namespace

bool StartDetachedThread(std::function<void()> work) noexcept {
  return static_cast<bool>(StartThread(std::move(work)));
}

JoinableThread::JoinableThread() = default;

JoinableThread::~JoinableThread() { Join(); }

bool JoinableThread::Start(std::function<void()> work) noexcept {
  Join();
  try {
    if (!handle_) handle_ = std::make_unique<Handle>();
  } catch (...) {
    return false;
  }
  handle_->thread = StartThread(std::move(work));
  return static_cast<bool>(handle_->thread);
}

void JoinableThread::Join() noexcept {
  if (!Joinable()) return;
  ::WaitForSingleObject(handle_->thread.get(), INFINITE);
  handle_->thread.reset();
}

bool JoinableThread::Joinable() const noexcept { return handle_ && handle_->thread; }

}  // namespace nimbard
