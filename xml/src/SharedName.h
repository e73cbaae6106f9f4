// Element names shared by the nodes that carry them: a document names most of its elements with
// a few names, so the reader makes each of them once.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
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
  // The name as single bytes when it is ASCII, as names nearly always are; empty otherwise.
  std::string_view Ascii() const { return ascii_; }

 private:
  explicit SharedName(std::u16string text) : text_(std::move(text)), ascii_(AsciiOf(text_)) {}

  static std::string AsciiOf(std::u16string_view text) {
    std::string bytes;
    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; })) {
      bytes.assign(text.begin(), text.end());
    }
    return bytes;
  }

  std::atomic<std::size_t> references_{1};
  const std::u16string text_;
  const std::string ascii_;  // for the writer
};

}  // namespace kestrelwing::detail
