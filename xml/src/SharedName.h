// Element names shared by the nodes that carry them: a document names most of its elements with
// a few names, so the reader makes each of them once.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <utility>

namespace kestrelwing::detail {

// An immutable name with a reference count. Nodes of different trees, used on different
// threads, may share one, so the count is atomic.
class SharedName {
 public:
  // A new name held once by the caller.
  static SharedName* Make(std::u16string text) { return new SharedName(std::move(text)); }
  static void Retain(SharedName* name) {
    if (name != nullptr) name->references_.fetch_add(1, std::memory_order_relaxed);
  }
  static void Release(SharedName* name) {
    if (name != nullptr && name->references_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      delete name;
    }
  }

  const std::u16string& Text() const { return text_; }

 private:
  explicit SharedName(std::u16string text) : text_(std::move(text)) {}

  std::atomic<std::size_t> references_{1};
  const std::u16string text_;
};

}  // namespace kestrelwing::detail
