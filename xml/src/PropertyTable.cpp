#include "PropertyTable.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <kestrelwing/cXmlNode.h>

#include "CaseFold.h"
#include "Encodings.h"

namespace kestrelwing::detail {
namespace {

using Chars = std::char_traits<char16_t>;

// A first block fits the few properties of a typical element; Compact trims it afterwards.
constexpr std::size_t kFirstEntries = 4;
constexpr std::size_t kFirstText = 64;
// Counts are handed out as signed 32-bit numbers; offsets are stored as unsigned 32-bit ones.
constexpr std::size_t kMaxEntries = std::numeric_limits<std::int32_t>::max();
constexpr std::size_t kMaxText = std::numeric_limits<std::uint32_t>::max();

// FNV-1a over the folded code units, so names that match ignoring case hash alike.
std::uint32_t FoldedHash(std::u16string_view name) {
  std::uint32_t hash = 2166136261u;
  for (const char16_t c : name)
    hash = (hash ^ FoldCase(c)) * 16777619u;
  return hash ^ (hash >> 16);
}

}  // namespace

// Open addressing over the folded-name hashes, kept at most half full, so probe runs stay short.
// A bucket holds slot + 1 in its low bits (those of the mask; 0 when empty) and the hash's bits
// above the mask in the rest: a probe that meets another name almost always ends on those bits,
// without reading that name from the table, which in a large table would be a miss in the cache.
class PropertyTable::NameIndex {
 public:
  explicit NameIndex(const PropertyTable& table) { Rebuild(table); }

  std::int32_t Find(const PropertyTable& table, std::u16string_view name,
                    std::uint32_t hash) const {
    const std::size_t mask = buckets_.size() - 1;
    const std::size_t tag = hash & ~mask;
    for (std::size_t i = hash & mask; buckets_[i] != 0; i = (i + 1) & mask) {
      if ((buckets_[i] & ~mask) != tag) continue;
      const auto slot = static_cast<std::int32_t>((buckets_[i] & mask) - 1);
      if (EqualsIgnoreCase(table.NameAt(slot), name)) return slot;
    }
    return -1;
  }

  // Indexes the newest slot of table, whose name hashes to hash.
  void Added(const PropertyTable& table, std::uint32_t hash) {
    if (2 * std::size_t{table.count_} > buckets_.size()) {
      Rebuild(table);
    } else {
      Place(table.count_ - 1, hash);
    }
  }

 private:
  void Rebuild(const PropertyTable& table) {
    buckets_.assign(std::bit_ceil(4 * std::size_t{table.count_}), 0);
    for (std::uint32_t slot = 0; slot < table.count_; ++slot) {
      Place(slot, FoldedHash(table.NameAt(static_cast<std::int32_t>(slot))));
    }
  }

  void Place(std::uint32_t slot, std::uint32_t hash) {
    const std::size_t mask = buckets_.size() - 1;
    std::size_t i = hash & mask;
    while (buckets_[i] != 0)
      i = (i + 1) & mask;
    buckets_[i] = static_cast<std::uint32_t>((hash & ~mask) | (slot + 1));
  }

  std::vector<std::uint32_t> buckets_;
};

PropertyTable::PropertyTable(std::uint32_t entryCapacity, std::uint32_t textCapacity)
    : entryCapacity_(entryCapacity), textCapacity_(textCapacity) {}

PropertyTable::~PropertyTable() = default;

void PropertyTable::operator delete(PropertyTable* table, std::destroying_delete_t) {
  table->~PropertyTable();
  ReleaseNodeMemory(table);
}

std::unique_ptr<PropertyTable> PropertyTable::Allocate(std::size_t entryCapacity,
                                                       std::size_t textCapacity) {
  if (entryCapacity > kMaxEntries || textCapacity > kMaxText) {
    throw std::length_error("property table too large");
  }
  const std::uint64_t bytes = sizeof(PropertyTable) + std::uint64_t{entryCapacity} * sizeof(Entry) +
                              std::uint64_t{textCapacity} * sizeof(char16_t);
  if (bytes > std::numeric_limits<std::size_t>::max()) throw std::bad_alloc();
  const auto size = static_cast<std::size_t>(bytes);
  void* block = AllocateNodeMemory(size);
  return std::unique_ptr<PropertyTable>(new (block) PropertyTable(
      static_cast<std::uint32_t>(entryCapacity), static_cast<std::uint32_t>(textCapacity)));
}

std::unique_ptr<PropertyTable> PropertyTable::MoveTo(std::unique_ptr<PropertyTable>& table,
                                                     std::size_t entryCapacity,
                                                     std::size_t textCapacity,
                                                     std::size_t liveText) {
  std::unique_ptr<PropertyTable> moved = Allocate(entryCapacity, textCapacity);
  const PropertyTable& from = *table;
  const Entry* source = from.Entries();
  Entry* target = moved->Entries();
  char16_t* text = moved->Text();
  if (liveText == from.textSize_) {
    // Nothing to leave behind: entries and text move as they are, offsets included.
    std::copy(source, source + from.count_, target);
    Chars::copy(text, from.Text(), from.textSize_);
  } else {
    std::uint32_t used = 0;
    for (std::uint32_t slot = 0; slot < from.count_; ++slot) {
      const Entry& entry = source[slot];
      const std::uint32_t length = entry.nameLength + entry.valueLength;
      target[slot] = {used, entry.nameLength, entry.valueLength};
      Chars::copy(text + used, from.Text() + entry.offset, length);
      used += length;
    }
  }
  moved->count_ = from.count_;
  moved->textSize_ = static_cast<std::uint32_t>(liveText);
  moved->index_ = std::move(table->index_);  // it holds slots, which do not move
  table.swap(moved);
  return moved;
}

std::unique_ptr<PropertyTable> PropertyTable::Grow(std::unique_ptr<PropertyTable>& table,
                                                   std::size_t extraEntries,
                                                   std::size_t extraText) {
  if (!table) {
    table = Allocate(std::max(kFirstEntries, extraEntries), std::max(kFirstText, extraText));
    return nullptr;
  }
  const std::size_t entriesNeeded = table->count_ + extraEntries;
  const std::size_t liveText = table->LiveText();
  const std::size_t textNeeded = liveText + extraText;
  if (entriesNeeded > kMaxEntries || textNeeded > kMaxText) {
    throw std::length_error("property table too large");
  }
  // Doubling keeps growth amortised O(1) per entry and per character, also when the space went
  // to replaced values: those are left behind by the move.
  std::size_t entryCapacity = table->entryCapacity_;
  if (entriesNeeded > entryCapacity) {
    entryCapacity = std::min(std::max(2 * entryCapacity, entriesNeeded), kMaxEntries);
  }
  const std::size_t textCapacity =
      std::min(std::max<std::size_t>(table->textCapacity_, 2 * textNeeded), kMaxText);
  return MoveTo(table, entryCapacity, textCapacity, liveText);
}

void PropertyTable::Set(std::unique_ptr<PropertyTable>& table, std::u16string_view name,
                        std::u16string_view value) {
  // Keeps the block that name and value may point into alive until they have been copied.
  std::unique_ptr<PropertyTable> old;
  const std::uint32_t hash = (table && table->index_) ? FoldedHash(name) : 0;
  const std::int32_t slot = table ? table->Find(name, hash) : -1;
  if (slot >= 0) {
    const Entry& entry = table->Entries()[slot];
    const std::size_t moved = entry.nameLength + value.size();
    if (value.size() > entry.valueLength && moved > table->FreeText()) {
      old = Grow(table, 0, moved);
    }
    table->ReplaceValue(slot, value);
  } else {
    const std::size_t length = name.size() + value.size();
    if (!table || table->count_ == table->entryCapacity_ || length > table->FreeText()) {
      old = Grow(table, 1, length);
    }
    table->Append(name, value, hash);
  }
}

void PropertyTable::Reserve(std::unique_ptr<PropertyTable>& table, std::size_t extraEntries,
                            std::size_t extraText) {
  if (!table) {
    table = Allocate(extraEntries, extraText);
  } else if (table->count_ + extraEntries > table->entryCapacity_ ||
             extraText > table->FreeText()) {
    Grow(table, extraEntries, extraText);
  }
}

bool PropertyTable::Adopt(std::unique_ptr<PropertyTable>& table, std::u16string_view text,
                          std::span<const std::uint32_t> lengths) {
  const std::size_t count = lengths.size() / 2;
  if (table || count >= static_cast<std::size_t>(kIndexedFrom)) return false;
  std::unique_ptr<PropertyTable> adopted = Allocate(count, text.size());
  Entry* entries = adopted->Entries();
  const auto nameOf = [&](const Entry& entry) {
    return text.substr(entry.offset, entry.nameLength);
  };
  std::uint32_t offset = 0;
  for (std::size_t i = 0; i < count; ++i) {
    entries[i] = {offset, lengths[2 * i], lengths[2 * i + 1]};
    offset += lengths[2 * i] + lengths[2 * i + 1];
    for (std::size_t j = 0; j < i; ++j) {
      if (entries[j].nameLength == entries[i].nameLength &&
          EqualsIgnoreCase(nameOf(entries[j]), nameOf(entries[i]))) {
        return false;  // a repeated name: the ordinary rules decide
      }
    }
  }
  Chars::copy(adopted->Text(), text.data(), text.size());
  adopted->count_ = static_cast<std::uint32_t>(count);
  adopted->textSize_ = static_cast<std::uint32_t>(text.size());
  table = std::move(adopted);
  return true;
}

bool PropertyTable::AdoptAscii(std::unique_ptr<PropertyTable>& table,
                               std::span<const std::string_view> pairs, std::uint32_t rewritten,
                               Rewrite rewrite) {
  const std::size_t count = pairs.size() / 2;
  if (table || count >= static_cast<std::size_t>(kIndexedFrom)) return false;
  std::size_t units = 0;
  for (std::size_t i = 0; i < pairs.size(); i += 2) {
    units += pairs[i].size() + pairs[i + 1].size();
    for (std::size_t j = 0; j < i; j += 2) {
      if (EqualsIgnoreAsciiCase(pairs[i], pairs[j])) return false;
    }
  }
  std::unique_ptr<PropertyTable> adopted = Allocate(count, units);
  Entry* const entries = adopted->Entries();
  char16_t* const text = adopted->Text();
  std::uint32_t offset = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view name = pairs[2 * i];
    const std::string_view value = pairs[2 * i + 1];
    entries[i] = {offset, static_cast<std::uint32_t>(name.size()),
                  static_cast<std::uint32_t>(value.size())};
    WidenAscii({reinterpret_cast<const std::uint8_t*>(name.data()), name.size()}, text + offset);
    offset += entries[i].nameLength;
    WidenAscii({reinterpret_cast<const std::uint8_t*>(value.data()), value.size()}, text + offset);
    if ((rewritten >> i & 1) != 0) {
      entries[i].valueLength = static_cast<std::uint32_t>(rewrite(text + offset, value.size()));
    }
    offset += entries[i].valueLength;
  }
  adopted->count_ = static_cast<std::uint32_t>(count);
  adopted->textSize_ = offset;
  table = std::move(adopted);
  return true;
}

void PropertyTable::Compact(std::unique_ptr<PropertyTable>& table) {
  if (!table) return;
  const std::size_t live = table->LiveText();
  if (table->count_ == table->entryCapacity_ && live == table->textCapacity_) return;
  MoveTo(table, table->count_, live, live);
}

std::int32_t PropertyTable::Find(std::u16string_view name) const {
  return Find(name, index_ ? FoldedHash(name) : 0);
}

std::int32_t PropertyTable::Find(std::u16string_view name, std::uint32_t hash) const {
  if (index_) return index_->Find(*this, name, hash);
  const Entry* entries = Entries();
  for (std::uint32_t slot = 0; slot < count_; ++slot) {
    const Entry& entry = entries[slot];
    if (entry.nameLength == name.size() &&
        EqualsIgnoreCase({Text() + entry.offset, entry.nameLength}, name)) {
      return static_cast<std::int32_t>(slot);
    }
  }
  return -1;
}

// A value that fits where the old one was is written over it; a longer one goes with a copy of
// the name to the end of the buffer (Set made room), and the old characters stay behind until the
// next move.
void PropertyTable::ReplaceValue(std::int32_t slot, std::u16string_view value) {
  Entry& entry = Entries()[slot];
  if (value.size() > entry.valueLength) {
    Chars::copy(Text() + textSize_, Text() + entry.offset, entry.nameLength);
    entry.offset = textSize_;
    textSize_ += entry.nameLength + static_cast<std::uint32_t>(value.size());
  }
  // move, not copy: value may overlap the characters it replaces.
  Chars::move(Text() + entry.offset + entry.nameLength, value.data(), value.size());
  entry.valueLength = static_cast<std::uint32_t>(value.size());
}

// Set made room for one more entry and both texts.
void PropertyTable::Append(std::u16string_view name, std::u16string_view value,
                           std::uint32_t hash) {
  Entry& entry = Entries()[count_];
  entry = {textSize_, static_cast<std::uint32_t>(name.size()),
           static_cast<std::uint32_t>(value.size())};
  // Views into this table point below textSize_, so they never overlap the space written here.
  Chars::copy(Text() + entry.offset, name.data(), name.size());
  Chars::copy(Text() + entry.offset + entry.nameLength, value.data(), value.size());
  textSize_ += entry.nameLength + entry.valueLength;
  ++count_;
  if (index_) {
    index_->Added(*this, hash);
  } else if (count_ >= static_cast<std::uint32_t>(kIndexedFrom)) {
    index_ = std::make_unique<NameIndex>(*this);
  }
}

std::size_t PropertyTable::LiveText() const {
  std::size_t live = 0;
  const Entry* entries = Entries();
  for (std::uint32_t slot = 0; slot < count_; ++slot) {
    live += std::size_t{entries[slot].nameLength} + entries[slot].valueLength;
  }
  return live;
}

}  // namespace kestrelwing::detail
