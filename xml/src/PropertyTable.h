// The properties of one node: ordered, names matched ignoring letter case, stored compactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string_view>

namespace kestrelwing::detail {

// Properties in the order in which they were first set. A name is matched ignoring letter case
// and keeps the spelling of its first assignment; setting it again replaces only the value.
//
// A table is a single block of node memory (AllocateNodeMemory): this header, then one entry per
// property, then one UTF-16 buffer holding every name and value. A node with a few properties
// therefore costs one allocation and no per-property strings. Members that may need a bigger block
// are static and take the owning pointer. Small tables are scanned; from kIndexedFrom properties
// on, a hash index of the folded names sits beside the table, so n properties are set and read back
// in time linear in n.
class PropertyTable {
 public:
  static constexpr std::int32_t kIndexedFrom = 16;

  ~PropertyTable();
  PropertyTable(const PropertyTable&) = delete;
  PropertyTable& operator=(const PropertyTable&) = delete;
  // Destroys the table and frees the block that Allocate took (larger than sizeof(PropertyTable)).
  static void operator delete(PropertyTable* table, std::destroying_delete_t);

  // Replaces the value of the property of that name, or appends a new property; creates the
  // table when there is none. name and value may be views into the table itself.
  static void Set(std::unique_ptr<PropertyTable>& table, std::u16string_view name,
                  std::u16string_view value);
  // Makes room for extraEntries more entries and extraText more characters; creates the table
  // with exactly that room when there is none.
  static void Reserve(std::unique_ptr<PropertyTable>& table, std::size_t extraEntries,
                      std::size_t extraText);
  // For the reader: when there is no table yet and the names differ (ignoring case), makes one
  // of exactly the size needed from text, which holds names and values one after the other,
  // lengths[2i] and lengths[2i+1] long. False otherwise, and nothing changes.
  static bool Adopt(std::unique_ptr<PropertyTable>& table, std::u16string_view text,
                    std::span<const std::uint32_t> lengths);
  // Rewrites length characters of text in place and answers how many it left, no more.
  using Rewrite = std::size_t (*)(char16_t* text, std::size_t length);
  // Adopt for names and values of ASCII bytes, pairs[2i] and pairs[2i+1], each written once,
  // widened straight into the new table. Value i is then rewritten by rewrite when bit i of
  // rewritten is set; the table keeps the room of the characters the rewriting took away.
  static bool AdoptAscii(std::unique_ptr<PropertyTable>& table,
                         std::span<const std::string_view> pairs, std::uint32_t rewritten,
                         Rewrite rewrite);
  // Moves the table into a block of exactly the size its contents need.
  static void Compact(std::unique_ptr<PropertyTable>& table);

  std::int32_t Count() const { return static_cast<std::int32_t>(count_); }
  // The 0-based slot of the property of that name, or -1.
  std::int32_t Find(std::u16string_view name) const;
  // slot must lie in 0..Count()-1. The views stay valid until the table next changes.
  std::u16string_view NameAt(std::int32_t slot) const {
    const Entry& entry = Entries()[slot];
    return {Text() + entry.offset, entry.nameLength};
  }
  std::u16string_view ValueAt(std::int32_t slot) const {
    const Entry& entry = Entries()[slot];
    return {Text() + entry.offset + entry.nameLength, entry.valueLength};
  }

 private:
  // Where one property lies in the text buffer: its name, and right after it its value.
  struct Entry {
    std::uint32_t offset;
    std::uint32_t nameLength;
    std::uint32_t valueLength;
  };
  class NameIndex;

  PropertyTable(std::uint32_t entryCapacity, std::uint32_t textCapacity);
  static std::unique_ptr<PropertyTable> Allocate(std::size_t entryCapacity,
                                                 std::size_t textCapacity);
  // Moves the contents into a new block of the given capacities, leaving out the characters of
  // replaced values, and hands back the old block: views into it stay valid while it lives.
  // liveText is the table's LiveText().
  static std::unique_ptr<PropertyTable> MoveTo(std::unique_ptr<PropertyTable>& table,
                                               std::size_t entryCapacity, std::size_t textCapacity,
                                               std::size_t liveText);
  // MoveTo a block with room for extraEntries more entries and extraText more characters.
  static std::unique_ptr<PropertyTable> Grow(std::unique_ptr<PropertyTable>& table,
                                             std::size_t extraEntries, std::size_t extraText);
  std::int32_t Find(std::u16string_view name, std::uint32_t hash) const;
  void ReplaceValue(std::int32_t slot, std::u16string_view value);
  void Append(std::u16string_view name, std::u16string_view value, std::uint32_t hash);
  std::size_t LiveText() const;
  std::size_t FreeText() const { return textCapacity_ - textSize_; }

  Entry* Entries() {
    return reinterpret_cast<Entry*>(reinterpret_cast<std::byte*>(this) + sizeof(PropertyTable));
  }
  const Entry* Entries() const { return const_cast<PropertyTable*>(this)->Entries(); }
  char16_t* Text() { return reinterpret_cast<char16_t*>(Entries() + entryCapacity_); }
  const char16_t* Text() const { return const_cast<PropertyTable*>(this)->Text(); }

  std::uint32_t count_ = 0;
  std::uint32_t entryCapacity_;
  std::uint32_t textSize_ = 0;  // characters in use, including those of replaced values
  std::uint32_t textCapacity_;
  std::unique_ptr<NameIndex> index_;  // none below kIndexedFrom properties
};

}  // namespace kestrelwing::detail
