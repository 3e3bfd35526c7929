#pragma once
// Results that worker threads hand to a window. A worker pushes its result,
// then posts a bare message that only says "look"; the window pops whatever
// is there. Such a message posted by another program finds nothing, or what
// was there anyway: no message carries anything the window would trust.
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace nimbard {

template <typename T>
class ResultQueue {
 public:
  // False when there was no memory for it.
  bool Push(T item) noexcept {
    try {
      std::lock_guard<std::mutex> lock(mutex_);
      items_.push_back(std::move(item));
      return true;
    } catch (...) {
      return false;
    }
  }

  // The oldest result, none when the queue is empty.
  std::optional<T> Pop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (items_.empty()) return std::nullopt;
    std::optional<T> item(std::move(items_.front()));
    items_.pop_front();
    return item;
  }

  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.clear();
  }

 private:
  std::mutex mutex_;
  std::deque<T> items_;
};

}  // namespace nimbard
