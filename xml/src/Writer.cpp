// The XML writer. Text is encoded as it is produced into one byte buffer, which goes to the sink
// once it holds 64 KiB, checked between elements and within long texts. Elements are written as
// the library's dialect has always written them, in both syntaxes; the other kinds of node each
// in their XML form.
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

// What a piece of text is escaped as (Escaping.h decides how, by syntax).
enum class Escape : std::uint8_t { None, Text, Attribute };

bool IsWhiteSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

// The length of the character that text begins with: 2 for a surrogate pair, else 1.
std::size_t CharacterLength(std::u16string_view text) {
  return text.size() >= 2 && IsHighSurrogate(text[0]) && text[1] >= 0xDC00 && text[1] <= 0xDFFF ? 2
                                                                                                : 1;
}

char32_t CodePointOf(std::u16string_view character) {
  if (character.size() == 2) {
    return 0x10000 + ((static_cast<char32_t>(character[0]) - 0xD800) << 10) +
           (static_cast<char32_t>(character[1]) - 0xDC00);
  }
  return character[0];
}

// The output as bytes in the chosen encoding. ASCII, nearly all of an XML document, is encoded
// here through 128-entry tables, the characters as they are and escaped as text and as attribute
// values, all filled once from the shared escaper and encoder; every run of other characters goes
// to the shared encoder whole (escaping never changes them), so a surrogate pair is never split.
class EncodedOutput {
 public:
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 16;

  EncodedOutput(std::int32_t encodingId, XmlSyntax syntax, ByteSink& sink)
      : encodingId_(encodingId),
        sink_(sink),
        plain_(TableFor(encodingId, kPlain)),
        text_(TableFor(encodingId,
                       syntax == XmlSyntax::Xml10 ? Escapes::Xml10Text : Escapes::Dialect)),
        attribute_(TableFor(
            encodingId, syntax == XmlSyntax::Xml10 ? Escapes::Xml10Attribute : Escapes::Dialect)),
        asciiAsIs_(WritesAsciiAsIs(plain_)),
        xml10_(syntax == XmlSyntax::Xml10),
        referencesUnencodable_(xml10_ && encodingId != kEncodingUtf8 &&
                               encodingId != kEncodingUtf16) {}

  void Bytes(std::string_view bytes) {
    if (bytes.empty()) return;  // no mark for narrow output; the buffer may not exist yet
    std::memcpy(Reserve(bytes.size()), bytes.data(), bytes.size());
    used_ += bytes.size();
  }
  KESTRELWING_ALWAYS_INLINE void Text(std::u16string_view text) { Write<Escape::None>(text); }
  KESTRELWING_ALWAYS_INLINE void EscapedText(std::u16string_view text) {
    Write<Escape::Text>(text);
  }
  KESTRELWING_ALWAYS_INLINE void EscapedAttribute(std::u16string_view text) {
    Write<Escape::Attribute>(text);
  }
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

  // Whether escaped text writes a character the encoding lacks as a character reference (XML 1.0
  // in the narrow code page), and whether character (one unit or a surrogate pair) is one that
  // it lacks; its encoding is then left in scratch_.
  bool ReferencesUnencodable() const { return referencesUnencodable_; }
  bool Xml10() const { return xml10_; }
  bool Unencodable(std::u16string_view character) {
    scratch_.clear();
    AppendEncoded(scratch_, character, encodingId_);
    // A lone surrogate has no reference that XML allows.
    const bool loneSurrogate =
        character.size() == 1 && character[0] >= 0xD800 && character[0] <= 0xDFFF;
    return scratch_ == "?" && character != u"?" && !loneSurrogate;
  }
  // "&#N;" for a code point.
  void Reference(char32_t codePoint) {
    scratch_.clear();
    AppendEncoded(scratch_, CharacterReference(codePoint), encodingId_);
    Bytes(scratch_);
  }
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

  // The tables of each encoding: the characters as they are (kPlain) and escaped each way.
  static constexpr std::size_t kPlain = 3;
  static constexpr std::size_t kTablesPerEncoding = 4;
  static_assert(static_cast<std::size_t>(Escapes::Xml10Attribute) < kPlain);

  // Filled on first use.
  static const Table& TableFor(std::int32_t encodingId, Escapes escapes) {
    return TableFor(encodingId, static_cast<std::size_t>(escapes));
  }
  static const Table& TableFor(std::int32_t encodingId, std::size_t form) {
    static const std::array<Table, 3 * kTablesPerEncoding> tables = [] {
      std::array<Table, 3 * kTablesPerEncoding> made{};
      for (std::int32_t id : {kEncodingNarrow, kEncodingUtf8, kEncodingUtf16}) {
        for (std::size_t f = 0; f < kTablesPerEncoding; ++f) {
          Table& table = made[static_cast<std::size_t>(id) * kTablesPerEncoding + f];
          for (char16_t c = 0; c < 128; ++c) {
            const std::u16string_view character(&c, 1);
            std::string bytes;
            AppendEncoded(bytes,
                          f == kPlain ? std::u16string(character)
                                      : EscapeForWriting(character, static_cast<Escapes>(f)),
                          id);
            std::memcpy(table[c].bytes, bytes.data(),
                        std::min(bytes.size(), sizeof table[c].bytes));
            table[c].size = static_cast<std::uint8_t>(bytes.size());
          }
        }
      }
      return made;
    }();
    const bool unicode = encodingId == kEncodingUtf8 || encodingId == kEncodingUtf16;
    return tables[static_cast<std::size_t>(unicode ? encodingId : kEncodingNarrow) *
                      kTablesPerEncoding +
                  form];
  }

  const Table& TableOf(Escape escape) const {
    switch (escape) {
      case Escape::Text:
        return text_;
      case Escape::Attribute:
        return attribute_;
      case Escape::None:
        break;
    }
    return plain_;
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
  template <Escape kEscape>
  KESTRELWING_ALWAYS_INLINE void Write(std::u16string_view text) {
    if (asciiAsIs_ && !failed_) {
      const std::size_t copied =
          CopyAsIsFor<kEscape>(text.data(), text.size(), Reserve(text.size()));
      used_ += copied;
      text.remove_prefix(copied);
      if (text.empty()) return;
    }
    Append(text, kEscape);
  }

  KESTRELWING_NOINLINE void Append(std::u16string_view text, Escape escape) {
    const Table& table = TableOf(escape);
    const bool keepsReferences = escape != Escape::None && !xml10_;
    const char16_t* next = text.data();
    const char16_t* const end = next + text.size();
    while (next != end && !failed_) {
      const char16_t* const chunkEnd = next + std::min<std::size_t>(end - next, kChunkUnits);
      char* out = Reserve((chunkEnd - next) * sizeof(Encoded));
      while (next != chunkEnd && *next < 0x80) {
        if (asciiAsIs_) {
          const std::size_t copied = CopyAsIsFor(escape, next, chunkEnd - next, out);
          next += copied;
          out += copied;
          if (next == chunkEnd || *next >= 0x80) break;
        }
        // An ASCII character to escape, or one this encoding changes. The dialect's '&' that
        // begins a character reference stays as it is; the rest of the reference needs no
        // escaping.
        const char16_t c = *next;
        const bool keep =
            keepsReferences && c == u'&' &&
            CharacterReferenceLength({next, static_cast<std::size_t>(end - next)}) != 0;
        const Encoded& encoded = keep ? plain_[c] : table[c];
        ++next;
        std::memcpy(out, &encoded, sizeof encoded);
        out += encoded.size;
      }
      used_ = static_cast<std::size_t>(out - buffer_.get());
      if (next != chunkEnd) next = AppendOtherRun(next, end, escape);
      FlushWhenFull();
    }
  }

  // Writes the leading units of count that are ASCII (and, when escaped, need no escaping) as
  // one byte each; answers how many. For an encoding that writes ASCII as it is. Whole blocks
  // are stored, so bytes past the answer may be overwritten, within count.
  std::size_t CopyAsIsFor(Escape escape, const char16_t* units, std::size_t count,
                          char* out) const {
    switch (escape) {
      case Escape::Text:
        return CopyAsIsFor<Escape::Text>(units, count, out);
      case Escape::Attribute:
        return CopyAsIsFor<Escape::Attribute>(units, count, out);
      case Escape::None:
        break;
    }
    return CopyAsIsFor<Escape::None>(units, count, out);
  }
  template <Escape kEscape>
  KESTRELWING_ALWAYS_INLINE std::size_t CopyAsIsFor(const char16_t* units, std::size_t count,
                                                    char* out) const {
    if (kEscape != Escape::None && xml10_) return CopyAsIs<kEscape, true>(units, count, out);
    return CopyAsIs<kEscape, false>(units, count, out);
  }

  // The table is read once: stores through out may alias any member.
  template <Escape kEscape, bool kXml10>
  std::size_t CopyAsIs(const char16_t* units, std::size_t count, char* out) const {
    std::size_t i = 0;
#ifdef KESTRELWING_SSE2
    if (WideScanning()) {
      for (; i + 16 <= count; i += 16) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i + 8));
        if (!AllAscii(_mm_or_si128(low, high))) break;
        const __m128i bytes = _mm_packus_epi16(low, high);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
        const unsigned stop =
            kEscape != Escape::None
                ? static_cast<unsigned>(_mm_movemask_epi8(StopBytes<kEscape, kXml10>(bytes)))
                : 0;
        if (stop != 0) return i + static_cast<std::size_t>(std::countr_zero(stop));
      }
      // Then blocks of eight, the last one overlapping those before; four to seven units as two
      // blocks of four; shorter texts unit by unit.
      while (i < count && count >= 8) {
        const std::size_t at = std::min(i, count - 8);
        const unsigned stop = Refused<8, kEscape, kXml10>(units + at, out + at) >> (i - at);
        if (stop != 0) return i + static_cast<std::size_t>(std::countr_zero(stop));
        i = at + 8;
      }
      if (count >= 4 && count < 8) {
        const std::size_t last = count - 4;
        const unsigned stop = Refused<4, kEscape, kXml10>(units, out) |
                              Refused<4, kEscape, kXml10>(units + last, out + last) << last;
        return stop != 0 ? static_cast<std::size_t>(std::countr_zero(stop)) : count;
      }
    }
#endif
    const Table& table = TableOf(kEscape);
    for (; i < count; ++i) {
      const char16_t c = units[i];
      if (c >= 0x80 || table[c].size != 1) break;
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

  // The bytes that need escaping that way, as 0xFF. XML 1.0 escapes CR as well, and control
  // characters in attribute values (TAB, LF and CR; the others are written as they are).
  template <Escape kEscape, bool kXml10>
  static __m128i StopBytes(__m128i bytes) {
    const __m128i markup = MarkupBytes(bytes);
    if constexpr (!kXml10) return markup;
    return _mm_or_si128(markup, kEscape == Escape::Attribute
                                    ? _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20))
                                    : _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')));
  }

  // Stores kUnits (8 or 4) units as bytes and answers a bit for each that may not be copied so.
  template <std::size_t kUnits, Escape kEscape, bool kXml10>
  static unsigned Refused(const char16_t* units, char* out) {
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
    if constexpr (kEscape != Escape::None) {
      refused = _mm_or_si128(refused, StopBytes<kEscape, kXml10>(bytes));
    }
    return static_cast<unsigned>(_mm_movemask_epi8(refused)) & ((1u << kUnits) - 1);
  }
#endif

  KESTRELWING_NOINLINE void WideMarkup(std::string_view ascii) {
    wideMarkup_.assign(ascii.begin(), ascii.end());
    Append(wideMarkup_, Escape::None);
  }

  // Encodes the run of non-ASCII units that starts at run, up to a bounded length that does not
  // end inside a surrogate pair; answers where the run ended.
  const char16_t* AppendOtherRun(const char16_t* run, const char16_t* end, Escape escape) {
    const char16_t* const limit = run + std::min<std::size_t>(end - run, kChunkUnits);
    const char16_t* stop = run;
    while (stop != limit && *stop >= 0x80)
      ++stop;
    if (stop == limit && stop != end && IsHighSurrogate(stop[-1])) ++stop;
    const std::u16string_view text(run, static_cast<std::size_t>(stop - run));
    scratch_.clear();
    AppendEncoded(scratch_, text, encodingId_);
    // The run holds no '?' of its own: one in the bytes is a character the code page lacks.
    if (escape != Escape::None && referencesUnencodable_ &&
        scratch_.find('?') != std::string::npos) {
      AppendReferencingUnencodable(text);
    } else {
      Bytes(scratch_);
    }
    return stop;
  }

  // A character at a time, each the code page lacks as a character reference.
  KESTRELWING_NOINLINE void AppendReferencingUnencodable(std::u16string_view text) {
    while (!text.empty()) {
      const std::u16string_view character = text.substr(0, CharacterLength(text));
      if (Unencodable(character)) {
        Reference(CodePointOf(character));
      } else {
        Bytes(scratch_);
      }
      text.remove_prefix(character.size());
    }
  }

  const std::int32_t encodingId_;
  ByteSink& sink_;
  const Table& plain_;
  const Table& text_;
  const Table& attribute_;
  const bool asciiAsIs_;  // each ASCII character is its own one byte (UTF-8, most code pages)
  const bool xml10_;
  const bool referencesUnencodable_;
  std::unique_ptr<char[]> buffer_;  // capacity_ bytes, the first used_ of them written
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  std::string scratch_;
  std::u16string wideMarkup_;
  bool failed_ = false;
};

class Writer {
 public:
  Writer(const WriteOptions& options, ByteSink& sink)
      : output_(options.encodingId, options.syntax, sink),
        indentChoice_(options.identType == 0 ? "    " : "\t") {
    if (options.bom) output_.Bytes(ByteOrderMark(options.encodingId));
    SetLayout(options.prettyPrint);
  }

  WriteOutcome Document(const DocumentParts& document) {
    if (document.declaration != nullptr) Declaration(*document.declaration);
    WriteOutcome outcome = Around(document.prolog);
    if (outcome == WriteOutcome::Written && document.root != nullptr) {
      outcome = Tree(*document.root);
    }
    if (outcome == WriteOutcome::Written) outcome = Around(document.epilog);
    if (outcome != WriteOutcome::Written) return outcome;
    output_.Flush();
    return output_.Failed() ? WriteOutcome::SinkFailed : WriteOutcome::Written;
  }

 private:
  // An element whose children are being written.
  struct OpenElement {
    const cXmlNode* node;
    std::span<const NodeRef> children;
    std::size_t next;
    bool inlines;      // its children are mixed content: no line ends and indentation added
    bool skipsBlanks;  // it has white-space-only text runs that pretty printing leaves out
  };

  // What pretty printing makes of an element's children.
  enum class ChildKinds : std::uint8_t {
    Elements,      // no text: indented
    WithBlanks,    // white-space-only text runs among them: left out, the rest indented
    MixedContent,  // a text run that is not only white space, or a CDATA section: as they are
  };

  // Line ends and indentation on (pretty printing, outside mixed content) or off.
  void SetLayout(bool indented) {
    indented_ = indented;
    lineEnd_ = indented ? "\r\n" : "";
    indentUnit_ = indented ? indentChoice_ : "";
    tagEnd_ = indented ? ">\r\n" : ">";
    emptyTagEnd_ = indented ? "/>\r\n" : "/>";
  }

  void Declaration(const cXmlNode& declaration) {
    output_.Markup("<?xml");
    Properties(declaration);
    output_.Markup("?>");
    output_.Markup(lineEnd_);
  }

  // The nodes before or after the root, each a tree of its own.
  WriteOutcome Around(std::span<const NodeRef> nodes) {
    for (const NodeRef& node : nodes) {
      if (!node || Skipped(*node)) continue;
      const WriteOutcome outcome = Tree(*node);
      if (outcome != WriteOutcome::Written) return outcome;
    }
    return WriteOutcome::Written;
  }

  // Content() == ContentCData for an element, without asking a value that cannot be one.
  static bool HoldsCData(const cXmlNode& element) {
    const std::u16string_view value = element.Value();
    return !value.empty() && value[0] == u'<' && element.Content() == ContentCData;
  }

  static bool IsBlankText(const cXmlNode& node) {
    const std::u16string_view value = node.Value();
    return node.Kind() == KindText && std::all_of(value.begin(), value.end(), IsWhiteSpace);
  }

  // Pretty printing leaves out white-space-only text runs where it adds line ends of its own.
  bool Skipped(const cXmlNode& node) const { return indented_ && IsBlankText(node); }

  static ChildKinds KindsOf(std::span<const NodeRef> children) {
    ChildKinds kinds = ChildKinds::Elements;
    for (const NodeRef& child : children) {
      const NodeKind kind = child->Kind();
      if (kind == KindElement) [[likely]]
        continue;
      if (kind == KindCData || (kind == KindText && !IsBlankText(*child))) {
        return ChildKinds::MixedContent;
      }
      if (kind == KindText) kinds = ChildKinds::WithBlanks;
    }
    return kinds;
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
      if (node.Kind() != KindElement && OtherKind(node, open.size())) return true;
      StartTag(node, open.size());
      std::span<const NodeRef> children = NodeAccess::Children(node);
      if (children.empty()) {
        LeafRest(node);
        return true;
      }
      if (isOpen(node)) return false;
      if (open.size() >= kShallowLevels) deepOpen.insert(&node);
      const ChildKinds kinds = indented_ ? KindsOf(children) : ChildKinds::Elements;
      const bool inlines = kinds == ChildKinds::MixedContent;
      if (inlines) {
        output_.Markup(">");
        SetLayout(false);
      } else {
        output_.Markup(tagEnd_);
      }
      open.push_back({&node, children, 0, inlines, kinds == ChildKinds::WithBlanks});
      return true;
    };

    if (!enter(root)) return WriteOutcome::Cycle;
    while (!open.empty()) {
      output_.FlushWhenFull();
      if (output_.Failed()) return WriteOutcome::SinkFailed;
      OpenElement& top = open.back();
      if (top.next < top.children.size()) {
        const cXmlNode& child = *top.children[top.next++];
        if (top.skipsBlanks && IsBlankText(child)) continue;
        if (!enter(child)) return WriteOutcome::Cycle;
        continue;
      }
      const cXmlNode& node = *top.node;
      const bool inlined = top.inlines;
      open.pop_back();
      if (open.size() >= kShallowLevels) deepOpen.erase(&node);
      // The reader keeps a CDATA section that follows the children as the value; it goes back
      // where it came from. Plain text beside children could not be read again and is left out.
      if (HoldsCData(node)) {
        output_.Markup(Indented(indentRun_, "", open.size() + 1));
        output_.Text(node.Value());
        output_.Markup(lineEnd_);
      }
      output_.Markup(Indented(endTagRun_, "</", open.size()));
      ElementName(node);
      if (inlined) SetLayout(true);
      output_.Markup(tagEnd_);
    }
    return WriteOutcome::Written;
  }

  // A node that is not an element, on a line of its own when indented; false for a kind that has
  // no form of its own, which is written as an element.
  bool OtherKind(const cXmlNode& node, std::size_t depth) {
    const NodeKind kind = node.Kind();
    if (kind != KindText && kind != KindCData && kind != KindComment &&
        kind != KindProcessingInstruction && kind != KindDocumentType) {
      return false;
    }
    output_.Markup(Indented(indentRun_, "", depth));
    const std::u16string_view value = node.Value();
    if (kind == KindText) {
      output_.EscapedText(value);
    } else if (kind == KindCData) {
      CData(value);
    } else if (kind == KindComment) {
      output_.Markup("<!--");
      output_.Text(value);
      output_.Markup("-->");
    } else if (kind == KindProcessingInstruction) {
      output_.Markup("<?");
      ElementName(node);
      if (!value.empty()) {
        output_.Markup(" ");
        output_.Text(value);
      }
      output_.Markup("?>");
    } else {
      DocumentType(node);
    }
    output_.Markup(lineEnd_);
    return true;
  }

  // "<![CDATA[" value "]]>". A "]]>" in the value ends one section after "]]" and begins the next
  // with ">". In XML 1.0 a CR (which line-end normalization would turn into LF) and, in the
  // narrow code page, a character it lacks go between two sections as a character reference.
  void CData(std::u16string_view value) {
    output_.Markup("<![CDATA[");
    const bool xml10 = output_.Xml10();
    const bool unencodable = output_.ReferencesUnencodable();
    std::size_t run = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
      const char16_t c = value[i];
      if (c == u']' && value.substr(i, 3) == u"]]>") {
        output_.Text(value.substr(run, i + 2 - run));
        output_.Markup("]]><![CDATA[");
        run = i + 2;
        ++i;
        continue;
      }
      if (!(xml10 && c == u'\r') && !(unencodable && c >= 0x80)) continue;
      const std::u16string_view character = value.substr(i, CharacterLength(value.substr(i)));
      if (c == u'\r' || output_.Unencodable(character)) {
        output_.Text(value.substr(run, i - run));
        output_.Markup("]]>");
        output_.Reference(CodePointOf(character));
        output_.Markup("<![CDATA[");
        run = i + character.size();
      }
      i += character.size() - 1;
    }
    output_.Text(value.substr(run));
    output_.Markup("]]>");
  }

  // "<!DOCTYPE name", the external identifier from the properties PUBLIC and SYSTEM, and the
  // internal subset, the value, in brackets when there is one.
  void DocumentType(const cXmlNode& node) {
    output_.Markup("<!DOCTYPE ");
    ElementName(node);
    const std::int32_t publicId = NodeAccess::PropertyIndex(node, u"PUBLIC");
    const std::int32_t systemId = NodeAccess::PropertyIndex(node, u"SYSTEM");
    const auto literal = [&](std::int32_t index) {
      const std::u16string_view text =
          index == 0 ? std::u16string_view() : NodeAccess::PropertyValueAt(node, index);
      // A literal has no escapes: one that holds '"' is quoted with '\''.
      const std::string_view quote = text.find(u'"') == std::u16string_view::npos ? "\"" : "'";
      output_.Markup(quote);
      output_.Text(text);
      output_.Markup(quote);
    };
    if (publicId != 0) {
      output_.Markup(" PUBLIC ");
      literal(publicId);
      output_.Markup(" ");
      literal(systemId);
    } else if (systemId != 0) {
      output_.Markup(" SYSTEM ");
      literal(systemId);
    }
    if (!node.Value().empty()) {
      output_.Markup(" [");
      output_.Text(node.Value());
      output_.Markup("]");
    }
    output_.Markup(">");
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
      output_.EscapedAttribute(table->ValueAt(slot));
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
    if (HoldsCData(node)) {
      output_.Text(value);
    } else {
      output_.EscapedText(value);
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
  const std::string_view indentChoice_;  // one level of indentation when indented
  // The layout in force (SetLayout).
  bool indented_ = false;
  std::string_view lineEnd_;
  std::string_view indentUnit_;
  std::string_view tagEnd_;       // ">" and a line end
  std::string_view emptyTagEnd_;  // "/>" and a line end
  // Indentation runs for Indented: before "<", before "</" and alone.
  std::string startTagRun_;
  std::string endTagRun_;
  std::string indentRun_;
};

}  // namespace

std::int32_t SettleEncoding(cXmlNode* declaration, std::int32_t encodingId) {
  if (declaration == nullptr) return encodingId;
  if (encodingId != kEncodingNarrow) {
    const std::u16string_view name = encodingId == kEncodingUtf8 ? u"UTF-8" : u"UTF-16";
    if (NodeAccess::PropertyIndex(*declaration, kEncodingProperty) == 0) {
      // The declaration's grammar puts the encoding right after the version: the properties
      // after it (standalone) move behind.
      std::vector<PropertyPair> properties = declaration->Properties();
      const auto version = std::find_if(properties.begin(), properties.end(),
                                        [](auto& p) { return EqualsIgnoreCase(p[0], u"version"); });
      properties.insert(version == properties.end() ? properties.begin() : version + 1,
                        {std::u16string(kEncodingProperty), std::u16string(name)});
      NodeAccess::ClearProperties(*declaration);
      for (const PropertyPair& property : properties)
        NodeAccess::SetProperty(*declaration, property[0], property[1]);
    } else {
      NodeAccess::SetProperty(*declaration, kEncodingProperty, name);
    }
    return encodingId;
  }
  const std::u16string named = declaration->PropertyValue(kEncodingProperty);
  if (NamesAnyOf(named, {u"UTF-8", u"UTF 8", u"UTF8"})) return kEncodingUtf8;
  if (NamesAnyOf(named, {u"UTF-16", u"UTF 16", u"UTF16"})) return kEncodingUtf16;
  return kEncodingNarrow;
}

WriteOutcome WriteDocument(const DocumentParts& document, const WriteOptions& options,
                           ByteSink& sink) {
  return Writer(options, sink).Document(document);
}

}  // namespace kestrelwing::detail
