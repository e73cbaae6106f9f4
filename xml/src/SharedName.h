// Element names shared by the nodes that carry them: a document names most of its elements with
// a few names, so the reader makes each of them once.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "Compiler.h"

namespace kestrelwing::detail {

// An immutable name with a reference count. Nodes of different trees, used on different
// threads, may share one, so the count is atomic.
class SharedName {
 public:
  // A new name held once by the caller.
  static SharedName* Make(std::u16string text) { return new SharedName(std::move(text)); }
  static void Retain(SharedName* name, std::size_t count = 1) {
    if (name != nullptr) name->references_.fetch_add(count, std::memory_order_relaxed);
  }
  static void Release(SharedName* name, std::size_t count = 1) {
    if (name != nullptr && name->references_.fetch_sub(count, std::memory_order_acq_rel) == count) {
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
  const std::string ascii_;  // for the writer, and the spelling that the bytes' cache compares
};

// Whether units, empty or not, are the same as as many from b on. Short runs of bytes, as names
// are, are compared as one or two overlapping words, UTF-16 units four to a word, not by a call
// to memcmp; an empty view, which may hold no pointer at all, is never read.
template <typename Unit>
KESTRELWING_ALWAYS_INLINE inline bool SameUnits(std::basic_string_view<Unit> units, const Unit* b) {
  const std::size_t n = units.size();
  const Unit* const a = units.data();
  if constexpr (sizeof(Unit) == 1) {
    const auto same = [a, b]<typename Word>(std::size_t at, Word) {
      Word x;
      Word y;
      std::memcpy(&x, a + at, sizeof x);
      std::memcpy(&y, b + at, sizeof y);
      return x == y;
    };
    if (n >= 8 && n <= 16) return same(0, std::uint64_t{}) && same(n - 8, std::uint64_t{});
    if (n >= 4 && n < 8) return same(0, std::uint32_t{}) && same(n - 4, std::uint32_t{});
    if (n < 4) {
      for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return false;
      }
      return true;
    }
  }
  if constexpr (sizeof(Unit) == 2) {
    // Four units, one word, at a step.
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
      std::uint64_t x;
      std::uint64_t y;
      std::memcpy(&x, a + i, sizeof x);
      std::memcpy(&y, b + i, sizeof y);
      if (x != y) return false;
    }
    for (; i < n; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
  return n == 0 || std::memcmp(a, b, n * sizeof(Unit)) == 0;
}

// The names that the readers of one thread met, each made once, by their spelling in the source
// (Unit: char16_t for text, char for the bytes of names, which are ASCII there). A small cache
// by a cheap hash of the length and three characters: a new name replaces an older one that
// shares its slot, so the cache stays small whatever the number of different names; names that
// collide just share less. It keeps its names from one document to the next, as the documents
// a program reads mostly use the same names.
template <typename Unit>
class NameCache {
 public:
  using View = std::basic_string_view<Unit>;

  NameCache() = default;
  ~NameCache() {
    for (const Slot& slot : slots_)
      SharedName::Release(slot.name, slot.held);
  }
  NameCache(const NameCache&) = delete;
  NameCache& operator=(const NameCache&) = delete;

  // The name spelt so, held once for the caller; text(spelling) makes the name's text when it
  // is new.
  template <typename Text>
  SharedName* For(View spelling, Text text) {
    const std::size_t hash =
        spelling.empty() ? 0
                         : spelling.size() * 31 + static_cast<std::size_t>(spelling.front()) * 7 +
                               static_cast<std::size_t>(spelling[spelling.size() / 2]) * 3 +
                               static_cast<std::size_t>(spelling.back());
    Slot& slot = slots_[hash & (slots_.size() - 1)];
    if (slot.name == nullptr || !Same(SpellingOf(*slot.name), spelling)) {
      SharedName* const made = SharedName::Make(text(spelling));
      SharedName::Release(std::exchange(slot.name, made), std::exchange(slot.held, 1));
    }
    // References are taken kAhead at a time, not one by one: an atomic step per element is
    // a good part of reading it. The slot keeps its own one of them.
    if (slot.held == 1) {
      SharedName::Retain(slot.name, kAhead);
      slot.held += kAhead;
    }
    --slot.held;
    return slot.name;
  }

 private:
  static bool Same(View a, View b) { return a.size() == b.size() && SameUnits(a, b.data()); }
  static View SpellingOf(const SharedName& name) {
    if constexpr (sizeof(Unit) == 1) {
      return name.Ascii();
    } else {
      return name.Text();
    }
  }

  static constexpr std::size_t kAhead = 64;

  struct Slot {
    SharedName* name = nullptr;
    std::size_t held = 0;  // references to name taken and not handed out, the slot's own included
  };
  std::array<Slot, 256> slots_{};
};

// The name caches of one thread, made on its first read. Where the thread_local below serves,
// they are destroyed when the thread ends.
struct ThreadNameCaches {
  NameCache<char> bytes;     // names read from the bytes of UTF-8 and single-byte documents
  NameCache<char16_t> text;  // names read from text

  template <typename Unit>
  NameCache<Unit>& For() {
    if constexpr (std::is_same_v<Unit, char>) {
      return bytes;
    } else {
      return text;
    }
  }
};

// MinGW destroys a thread_local object at the end of its thread after the storage under it may
// be gone, so on Windows the caches hang from a fiber-local slot instead, and the next thread that
// reads takes them on (ThreadSlotsWin32.cpp).
#ifdef _WIN32
ThreadNameCaches& NameCachesOfThisThread();
#else
inline ThreadNameCaches& NameCachesOfThisThread() {
  thread_local ThreadNameCaches caches;
  return caches;
}
#endif

}  // namespace kestrelwing::detail
