// A first-in first-out queue between two threads with a fixed capacity: Push waits while it is
// full and Pop while it is empty, so a fast stage cannot run ahead of a slow one by more than
// the capacity. Close wakes everyone: Push then fails, Pop drains what is left, then fails.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace plughost {

template <typename Item>
class BoundedQueue {
 public:
  explicit BoundedQueue(std::size_t capacity) : capacity(capacity) {}

  bool Push(Item item) {
    std::unique_lock<std::mutex> lock(mutex);
    notFull.wait(lock, [this] { return closed || items.size() < capacity; });
    if (closed) return false;
    items.push_back(std::move(item));
    notEmpty.notify_one();
    return true;
  }

  bool Pop(Item* item) {
    std::unique_lock<std::mutex> lock(mutex);
    notEmpty.wait(lock, [this] { return closed || !items.empty(); });
    if (items.empty()) return false;
    *item = std::move(items.front());
    items.pop_front();
    notFull.notify_one();
    return true;
  }

  void Close() {
    std::lock_guard<std::mutex> lock(mutex);
    closed = true;
    notFull.notify_all();
    notEmpty.notify_all();
  }

 private:
  std::mutex mutex;
  std::condition_variable notFull;
  std::condition_variable notEmpty;
  std::deque<Item> items;
  std::size_t capacity;
  bool closed = false;
};

}  // namespace plughost
