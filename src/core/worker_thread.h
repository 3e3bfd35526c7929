#pragma once
// The threads nimbard starts: one per exchange, per tray pass, per command
// that waits, per check on Save, per service pass.
//
// On Windows they are started with the C runtime's _beginthreadex, not
// std::thread. MinGW's std::thread runs on winpthreads, which hands a
// thread's record back to its pool when the thread is detached after its
// work ended, while that thread is still ending and clears the record once
// more. A thread started next may get that record and end at once without
// running its work (exit code 128): an exchange then waits for its whole
// deadline, a pass never runs. Under load it happened to a few threads in a
// hundred.
#include <functional>
#include <memory>

namespace nimbard {

// Runs `work` on a thread of its own that nobody waits for. False when no
// thread could be started: `work` did not run. An exception leaving `work`
// ends there.
bool StartDetachedThread(std::function<void()> work) noexcept;

// A thread that its owner waits for: Join, or the destructor.
class JoinableThread {
 public:
  JoinableThread();
  ~JoinableThread();  // joins
  JoinableThread(const JoinableThread&) = delete;
  JoinableThread& operator=(const JoinableThread&) = delete;

  // Starts `work`, joining an earlier thread first. False when no thread
  // could be started: `work` did not run.
  bool Start(std::function<void()> work) noexcept;
  // Waits for the thread's end; nothing when none runs.
  void Join() noexcept;
  bool Joinable() const noexcept;

  struct Handle;  // the platform's own

 private:
  std::unique_ptr<Handle> handle_;
};

}  // namespace nimbard
