// The XML writer. Text is encoded as it is produced into one byte buffer, which goes to the sink
// once it holds 64 KiB, checked between elements and within long texts.
#include "Writer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "CaseFold.h"
#include "Compiler.h"
#include "Encodings.h"
#include "Escaping.h"
#include "NodeAccess.h"

namespace kestrelwing::detail {
namespace {

constexpr std::u16string_view kEncodingProperty = u"encoding";

bool NamesAnyOf(std::u16string_view name, std::initializer_list<std::u16string_view> spellings) {
  for (std::u16string_view spelling : spellings) {
    if (EqualsIgnoreCase(name, spelling)) return true;
  }
  return false;
}

// The output as bytes in the chosen encoding. ASCII, nearly all of an XML document, is encoded
// here through two 128-entry tables, the characters as they are and escaped, both filled once
// from the shared escaper and encoder; every run of other characters goes to the shared encoder
// whole (escaping never changes them), so a surrogate pair is never split.
class EncodedOutput {
 public:
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 16;

  EncodedOutput(std::int32_t encodingId, ByteSink& sink)
      : encodingId_(encodingId),
        sink_(sink),
        plain_(TableFor(encodingId, /*escaped=*/false)),
        escaped_(TableFor(encodingId, /*escaped=*/true)),
        asciiAsIs_(WritesAsciiAsIs(plain_)) {}

  void Bytes(std::string_view bytes) {
    if (bytes.empty()) return;  // no mark for narrow output; the buffer may not exist yet
    std::memcpy(Reserve(bytes.size()), bytes.data(), bytes.size());
    used_ += bytes.size();
  }
  KESTRELWING_ALWAYS_INLINE void Text(std::u16string_view text) { Write(text, plain_, false); }
  KESTRELWING_ALWAYS_INLINE void Escaped(std::u16string_view text) { Write(text, escaped_, true); }
  // The writer's own markup: ASCII that needs no escaping.
  KESTRELWING_ALWAYS_INLINE void Markup(std::string_view ascii) {
    if (!asciiAsIs_) return WideMarkup(ascii);
    CopyShort(ascii, Reserve(ascii.size()));
    used_ += ascii.size();
  }

  // The writer calls this between elements: the buffer may grow a little past a block before.
  void FlushWhenFull() {
    if (used_ >= kBlockBytes) Flush();
  }
  bool Failed() const { return failed_; }
  // Hands the gathered bytes to the sink; after a refusal nothing more is written.
  void Flush() {
    if (used_ > 0 && !failed_) failed_ = !sink_.Write(std::string_view(buffer_.get(), used_));
    used_ = 0;
  }

 private:
  // One ASCII character encoded: its bytes, padded so that every entry is copied whole.
  struct Encoded {
    char bytes[15];
    std::uint8_t size;
  };
  static_assert(sizeof(Encoded) == 16);
  using Table = std::array<Encoded, 128>;
  // Units encoded per step, so that the room reserved for them stays small.
  static constexpr std::size_t kChunkUnits = 4096;

  // The tables of each encoding, filled on first use.
  static const Table& TableFor(std::int32_t encodingId, bool escaped) {
    static const std::array<Table, 6> tables = [] {
      std::array<Table, 6> made{};
      for (std::int32_t id : {kEncodingNarrow, kEncodingUtf8, kEncodingUtf16}) {
        for (bool escape : {false, true}) {
          Table& table = made[static_cast<std::size_t>(id * 2 + (escape ? 1 : 0))];
          for (char16_t c = 0; c < 128; ++c) {
            const std::u16string_view character(&c, 1);
            std::string bytes;
            AppendEncoded(bytes, escape ? EscapeMarkup(character) : std::u16string(character), id);
            std::memcpy(table[c].bytes, bytes.data(),
                        std::min(bytes.size(), sizeof table[c].bytes));
            table[c].size = static_cast<std::uint8_t>(bytes.size());
          }
        }
      }
      return made;
    }();
    const bool unicode = encodingId == kEncodingUtf8 || encodingId == kEncodingUtf16;
    return tables[static_cast<std::size_t>((unicode ? encodingId : kEncodingNarrow) * 2 +
                                           (escaped ? 1 : 0))];
  }

  static bool WritesAsciiAsIs(const Table& table) {
    for (std::size_t c = 0; c < table.size(); ++c) {
      if (table[c].size != 1 || static_cast<unsigned char>(table[c].bytes[0]) != c) return false;
    }
    return true;
  }

  KESTRELWING_ALWAYS_INLINE char* Reserve(std::size_t bytes) {
    if (capacity_ - used_ < bytes) Grow(bytes);
    return buffer_.get() + used_;
  }
  KESTRELWING_NOINLINE void Grow(std::size_t bytes) {
    capacity_ = std::max({used_ + bytes, 2 * capacity_, std::size_t{4096}});
    auto grown = std::make_unique_for_overwrite<char[]>(capacity_);
    if (used_ > 0) std::memcpy(grown.get(), buffer_.get(), used_);
    buffer_ = std::move(grown);
  }

  // Markup is mostly a few bytes: up to 32 are copied as two pieces that may overlap, without a
  // call.
  KESTRELWING_ALWAYS_INLINE static void CopyShort(std::string_view bytes, char* out) {
    const std::size_t n = bytes.size();
    if (n > 32) {
      std::memcpy(out, bytes.data(), n);
    } else if (n >= 16) {
      CopyEnds<16>(bytes.data(), n, out);
    } else if (n >= 8) {
      CopyEnds<8>(bytes.data(), n, out);
    } else if (n >= 4) {
      CopyEnds<4>(bytes.data(), n, out);
    } else if (n >= 2) {
      CopyEnds<2>(bytes.data(), n, out);
    } else if (n == 1) {
      out[0] = bytes[0];
    }
  }
  // Copies n bytes, kPiece to 2 * kPiece of them, as the first and the last kPiece.
  template <std::size_t kPiece>
  KESTRELWING_ALWAYS_INLINE static void CopyEnds(const char* in, std::size_t n, char* out) {
    char first[kPiece], last[kPiece];
    std::memcpy(first, in, kPiece);
    std::memcpy(last, in + n - kPiece, kPiece);
    std::memcpy(out, first, kPiece);
    std::memcpy(out + n - kPiece, last, kPiece);
  }

  // Nearly every text is ASCII that needs no escaping, copied at once; Append takes the rest
  // from the first character that is not.
  KESTRELWING_ALWAYS_INLINE void Write(std::u16string_view text, const Table& table, bool escaped) {
    if (asciiAsIs_ && !failed_) {
      const std::size_t copied = CopyAsIs(text.data(), text.size(), Reserve(text.size()), escaped);
      used_ += copied;
      text.remove_prefix(copied);
      if (text.empty()) return;
    }
    Append(text, table, escaped);
  }

  KESTRELWING_NOINLINE void Append(std::u16string_view text, const Table& table, bool escaped) {
    const char16_t* next = text.data();
    const char16_t* const end = next + text.size();
    while (next != end && !failed_) {
      const char16_t* const chunkEnd = next + std::min<std::size_t>(end - next, kChunkUnits);
      char* out = Reserve((chunkEnd - next) * sizeof(Encoded));
      while (next != chunkEnd && *next < 0x80) {
        if (asciiAsIs_) {
          const std::size_t copied = CopyAsIs(next, chunkEnd - next, out, escaped);
          next += copied;
          out += copied;
          if (next == chunkEnd || *next >= 0x80) break;
        }
        // An ASCII character to escape, or one this encoding changes.
        const Encoded& encoded = table[*next++];
        std::memcpy(out, &encoded, sizeof encoded);
        out += encoded.size;
      }
      used_ = static_cast<std::size_t>(out - buffer_.get());
      if (next != chunkEnd) next = AppendOtherRun(next, end);
      FlushWhenFull();
    }
  }

  // Writes the leading units of count that are ASCII (and, when escaped, need no escaping) as
  // one byte each; answers how many. For an encoding that writes ASCII as it is. Whole blocks
  // are stored, so bytes past the answer may be overwritten, within count.
  std::size_t CopyAsIs(const char16_t* units, std::size_t count, char* out, bool escaped) const {
    std::size_t i = 0;
#ifdef KESTRELWING_SSE2
    for (; i + 16 <= count; i += 16) {
      const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
      const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i + 8));
      if (!AllAscii(_mm_or_si128(low, high))) break;
      const __m128i bytes = _mm_packus_epi16(low, high);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
      const unsigned stop =
          escaped ? static_cast<unsigned>(_mm_movemask_epi8(MarkupBytes(bytes))) : 0;
      if (stop != 0) return i + static_cast<std::size_t>(std::countr_zero(stop));
    }
    // Then blocks of eight, the last one overlapping those before; four to seven units as two
    // blocks of four; shorter texts unit by unit.
    while (i < count && count >= 8) {
      const std::size_t at = std::min(i, count - 8);
      const unsigned stop = Refused<8>(units + at, out + at, escaped) >> (i - at);
      if (stop != 0) return i + static_cast<std::size_t>(std::countr_zero(stop));
      i = at + 8;
    }
    if (count >= 4 && count < 8) {
      const std::size_t last = count - 4;
      const unsigned stop =
          Refused<4>(units, out, escaped) | Refused<4>(units + last, out + last, escaped) << last;
      return stop != 0 ? static_cast<std::size_t>(std::countr_zero(stop)) : count;
    }
#endif
    for (; i < count; ++i) {
      const char16_t c = units[i];
      if (c >= 0x80 || (escaped && escaped_[c].size != 1)) break;
      out[i] = static_cast<char>(c);
    }
    return i;
  }

#ifdef KESTRELWING_SSE2
  static bool AllAscii(__m128i units) {
    const __m128i high = _mm_and_si128(units, _mm_set1_epi16(-0x80));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) == 0xFFFF;
  }

  // The bytes that need escaping, as 0xFF.
  static __m128i MarkupBytes(__m128i bytes) {
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('&')),
                                     _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\''))),
                        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                                  _mm_cmpeq_epi8(bytes, _mm_set1_epi8('<'))),
                                     _mm_cmpeq_epi8(bytes, _mm_set1_epi8('>'))));
  }

  // Stores kUnits (8 or 4) units as bytes and answers a bit for each that may not be copied so.
  template <std::size_t kUnits>
  static unsigned Refused(const char16_t* units, char* out, bool escaped) {
    static_assert(kUnits == 8 || kUnits == 4);
    const __m128i zero = _mm_setzero_si128();
    const auto* source = reinterpret_cast<const __m128i*>(units);
    const __m128i block = kUnits == 8 ? _mm_loadu_si128(source) : _mm_loadl_epi64(source);
    const __m128i bytes = _mm_packus_epi16(block, zero);
    if constexpr (kUnits == 8) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
    } else {
      const auto word = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
      std::memcpy(out, &word, sizeof word);
    }
    __m128i refused = _mm_packs_epi16(
        _mm_xor_si128(_mm_cmpeq_epi16(_mm_and_si128(block, _mm_set1_epi16(-0x80)), zero),
                      _mm_set1_epi16(-1)),
        zero);
    if (escaped) refused = _mm_or_si128(refused, MarkupBytes(bytes));
    return static_cast<unsigned>(_mm_movemask_epi8(refused)) & ((1u << kUnits) - 1);
  }
#endif

  KESTRELWING_NOINLINE void WideMarkup(std::string_view ascii) {
    wideMarkup_.assign(ascii.begin(), ascii.end());
    Append(wideMarkup_, plain_, false);
  }

  // Encodes the run of non-ASCII units that starts at run, up to a bounded length that does not
  // end inside a surrogate pair; answers where the run ended.
  const char16_t* AppendOtherRun(const char16_t* run, const char16_t* end) {
    const char16_t* const limit = run + std::min<std::size_t>(end - run, kChunkUnits);
    const char16_t* stop = run;
    while (stop != limit && *stop >= 0x80)
      ++stop;
    if (stop == limit && stop != end && stop[-1] >= 0xD800 && stop[-1] <= 0xDBFF) ++stop;
    scratch_.clear();
    AppendEncoded(scratch_, std::u16string_view(run, static_cast<std::size_t>(stop - run)),
                  encodingId_);
    Bytes(scratch_);
    return stop;
  }

  const std::int32_t encodingId_;
  ByteSink& sink_;
  const Table& plain_;
  const Table& escaped_;
  const bool asciiAsIs_;  // each ASCII character is its own one byte (UTF-8, most code pages)
  std::unique_ptr<char[]> buffer_;  // capacity_ bytes, the first used_ of them written
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  std::string scratch_;
  std::u16string wideMarkup_;
  bool failed_ = false;
};

class Writer {
 public:
  Writer(const WriteOptions& options, ByteSink& sink) : output_(options.encodingId, sink) {
    if (options.bom) output_.Bytes(ByteOrderMark(options.encodingId));
    if (options.prettyPrint) {
      lineEnd_ = "\r\n";
      indentUnit_ = options.identType == 0 ? "    " : "\t";
    }
    tagEnd_ = std::string(">").append(lineEnd_);
    emptyTagEnd_ = std::string("/>").append(lineEnd_);
  }

  WriteOutcome Document(const cXmlNode* declaration, const cXmlNode* root) {
    if (declaration != nullptr) Declaration(*declaration);
    if (root != nullptr) {
      WriteOutcome outcome = Tree(*root);
      if (outcome != WriteOutcome::Written) return outcome;
    }
    output_.Flush();
    return output_.Failed() ? WriteOutcome::SinkFailed : WriteOutcome::Written;
  }

 private:
  // An element whose children are being written.
  struct OpenElement {
    const cXmlNode* node;
    std::span<const NodeRef> children;
    std::size_t next;
  };

  void Declaration(const cXmlNode& declaration) {
    output_.Markup("<?xml");
    Properties(declaration);
    output_.Markup("?>");
    output_.Markup(lineEnd_);
  }

  // Walks the tree with an explicit stack, so depth costs heap memory, not call stack. A node met
  // again while it is still open lies below itself: the tree is infinite, so writing stops. The
  // open elements of the first levels are searched directly, which costs next to nothing for the
  // usual shallow document; deeper ones are also kept in a hash set, so that a very deep tree
  // still costs the same per element.
  WriteOutcome Tree(const cXmlNode& root) {
    constexpr std::size_t kShallowLevels = 32;
    std::vector<OpenElement> open;
    std::unordered_set<const cXmlNode*> deepOpen;
    auto isOpen = [&](const cXmlNode& node) {
      const auto shallowEnd = open.begin() + std::min(open.size(), kShallowLevels);
      return std::any_of(open.begin(), shallowEnd,
                         [&](const OpenElement& e) { return e.node == &node; }) ||
             (open.size() > kShallowLevels && deepOpen.contains(&node));
    };
    auto enter = [&](const cXmlNode& node) {
      StartTag(node, open.size());
      std::span<const NodeRef> children = NodeAccess::Children(node);
      if (children.empty()) {
        LeafRest(node);
        return true;
      }
      if (isOpen(node)) return false;
      if (open.size() >= kShallowLevels) deepOpen.insert(&node);
      output_.Markup(tagEnd_);
      open.push_back({&node, children, 0});
      return true;
    };

    if (!enter(root)) return WriteOutcome::Cycle;
    while (!open.empty()) {
      output_.FlushWhenFull();
      if (output_.Failed()) return WriteOutcome::SinkFailed;
      OpenElement& top = open.back();
      if (top.next < top.children.size()) {
        if (!enter(*top.children[top.next++])) return WriteOutcome::Cycle;
        continue;
      }
      const cXmlNode& node = *top.node;
      open.pop_back();
      if (open.size() >= kShallowLevels) deepOpen.erase(&node);
      // The reader keeps a CDATA section that follows the children as the value; it goes back
      // where it came from. Plain text beside children could not be read again and is left out.
      if (node.Content() == ContentCData) {
        output_.Markup(Indented(indentRun_, "", open.size() + 1));
        output_.Text(node.Value());
        output_.Markup(lineEnd_);
      }
      output_.Markup(Indented(endTagRun_, "</", open.size()));
      ElementName(node);
      output_.Markup(tagEnd_);
    }
    return WriteOutcome::Written;
  }

  void StartTag(const cXmlNode& node, std::size_t depth) {
    output_.Markup(Indented(startTagRun_, "<", depth));
    ElementName(node);
    Properties(node);
  }

  // An ASCII name is copied as bytes, like the writer's own markup, which it is equivalent to.
  void ElementName(const cXmlNode& node) {
    const std::string_view ascii = NodeAccess::AsciiName(node);
    if (!ascii.empty()) {
      output_.Markup(ascii);
    } else {
      output_.Text(NodeAccess::Name(node));
    }
  }

  // Names are written as stored; values are escaped.
  void Properties(const cXmlNode& node) {
    const PropertyTable* table = NodeAccess::Properties(node);
    if (table == nullptr) return;
    for (std::int32_t slot = 0; slot < table->Count(); ++slot) {
      output_.Markup(" ");
      output_.Text(table->NameAt(slot));
      output_.Markup("=\"");
      output_.Escaped(table->ValueAt(slot));
      output_.Markup("\"");
    }
  }

  // What follows the properties of an element without children: "/>" when it has no value,
  // else its value (a CDATA section exactly as stored, text escaped) and its end tag.
  void LeafRest(const cXmlNode& node) {
    const std::u16string_view value = node.Value();
    if (value.empty()) {
      output_.Markup(emptyTagEnd_);
      return;
    }
    output_.Markup(">");
    if (node.Content() == ContentCData) {
      output_.Text(value);
    } else {
      output_.Escaped(value);
    }
    output_.Markup("</");
    ElementName(node);
    output_.Markup(tagEnd_);
  }

  // The indentation of depth followed by tail, as a suffix of run: run holds tail after the
  // widest indentation asked for with it so far, and grows to twice the depth when too short.
  std::string_view Indented(std::string& run, std::string_view tail, std::size_t depth) {
    const std::size_t width = depth * indentUnit_.size() + tail.size();
    if (run.size() < width) {
      run.clear();
      for (std::size_t i = 0; i < 2 * depth; ++i)
        run += indentUnit_;
      run += tail;
    }
    return std::string_view(run).substr(run.size() - width);
  }

  EncodedOutput output_;
  std::string_view lineEnd_;
  std::string_view indentUnit_;
  std::string tagEnd_;       // ">" and a line end
  std::string emptyTagEnd_;  // "/>" and a line end
  // Indentation runs for Indented: before "<", before "</" and alone.
  std::string startTagRun_;
  std::string endTagRun_;
  std::string indentRun_;
};

}  // namespace

std::int32_t SettleEncoding(cXmlNode* declaration, std::int32_t encodingId) {
  if (declaration == nullptr) return encodingId;
  if (encodingId != kEncodingNarrow) {
    NodeAccess::SetProperty(*declaration, kEncodingProperty,
                            encodingId == kEncodingUtf8 ? u"UTF-8" : u"UTF-16");
    return encodingId;
  }
  const std::u16string named = declaration->PropertyValue(kEncodingProperty);
  if (NamesAnyOf(named, {u"UTF-8", u"UTF 8", u"UTF8"})) return kEncodingUtf8;
  if (NamesAnyOf(named, {u"UTF-16", u"UTF 16", u"UTF16"})) return kEncodingUtf16;
  return kEncodingNarrow;
}

WriteOutcome WriteDocument(const cXmlNode* declaration, const cXmlNode* root,
                           const WriteOptions& options, ByteSink& sink) {
  return Writer(options, sink).Document(declaration, root);
}

}  // namespace kestrelwing::detail
