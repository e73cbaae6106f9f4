#include "ScanningPaths.h"

#include <cstddef>

#include "Compiler.h"
#include "TreeDiff.h"

namespace kestrelwing::testing {

ScanningPaths::ScanningPaths(bool wide) : previous_(detail::wideScanning.exchange(wide)) {}

ScanningPaths::~ScanningPaths() {
  detail::wideScanning = previous_;
}

bool ScanningPaths::Wide() {
  return detail::WideScanning();
}

void ParseOnPath(std::span<const std::uint8_t> bytes, XmlSyntax syntax, bool wide,
                 PathReading& reading) {
  const ScanningPaths paths(wide);
  reading.document.SetSyntax(syntax);
  reading.parsed = reading.document.Parse(bytes);
  reading.result = reading.document.Result();
  reading.encoding = reading.document.EncodingId();
  reading.saves.clear();
}

void SaveOnPath(bool wide, PathReading& reading) {
  const ScanningPaths paths(wide);
  reading.saves.clear();
  if (!reading.parsed) return;
  struct Layout {
    bool prettyPrint;
    std::int32_t encoding;
  };
  constexpr Layout kLayouts[] = {{false, -1}, {true, 1}, {false, 2}, {false, 0}};
  for (const Layout& layout : kLayouts) {
    std::vector<std::uint8_t> saved;
    if (reading.document.SaveToBytes(saved, layout.prettyPrint, /*identType=*/0, /*bom=*/false,
                                     layout.encoding)) {
      reading.saves.emplace_back(saved.begin(), saved.end());
    } else {
      reading.saves.push_back("refused: " + ToUtf8(reading.document.Result()));
    }
  }
}

namespace {

// The first difference between two nodes that may be none, each with its subtree.
std::string CompareNodes(const NodeRef& wide, const NodeRef& portable) {
  if (!wide || !portable) return !wide && !portable ? "" : "present on one path only";
  return CompareTrees(*wide, *portable).difference;
}

std::string CompareNodeLists(const std::vector<NodeRef>& wide,
                             const std::vector<NodeRef>& portable) {
  if (wide.size() != portable.size()) {
    return std::to_string(wide.size()) + " nodes on the wide path, " +
           std::to_string(portable.size()) + " on the portable one";
  }
  for (std::size_t i = 0; i < wide.size(); ++i) {
    std::string difference = CompareNodes(wide[i], portable[i]);
    if (!difference.empty()) return "node " + std::to_string(i + 1) + ": " + difference;
  }
  return {};
}

}  // namespace

std::string CompareReadings(const PathReading& wide, const PathReading& portable) {
  if (wide.parsed != portable.parsed) {
    const PathReading& refused = wide.parsed ? portable : wide;
    return std::string(wide.parsed ? "only the wide path" : "only the portable path") +
           " parsed; the other said: " + ToUtf8(refused.result);
  }
  if (wide.result != portable.result) {
    return "Result() \"" + ToUtf8(wide.result) + "\" on the wide path, \"" +
           ToUtf8(portable.result) + "\" on the portable one";
  }
  if (wide.encoding != portable.encoding) {
    return "EncodingId() " + std::to_string(wide.encoding) + " on the wide path, " +
           std::to_string(portable.encoding) + " on the portable one";
  }
  if (!wide.parsed) return {};
  const std::pair<const char*, std::string> parts[] = {
      {"declaration", CompareNodes(wide.document.XMLNode(), portable.document.XMLNode())},
      {"root", CompareNodes(wide.document.Root(), portable.document.Root())},
      {"prolog", CompareNodeLists(wide.document.Prolog(), portable.document.Prolog())},
      {"epilog", CompareNodeLists(wide.document.Epilog(), portable.document.Epilog())},
  };
  for (const auto& [part, difference] : parts) {
    if (!difference.empty()) return std::string(part) + ": " + difference;
  }
  for (std::size_t i = 0; i < wide.saves.size() && i < portable.saves.size(); ++i) {
    const std::string& a = wide.saves[i];
    const std::string& b = portable.saves[i];
    if (a == b) continue;
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
      ++at;
    return "save " + std::to_string(i + 1) + " differs from byte " + std::to_string(at) + " (" +
           std::to_string(a.size()) + " bytes on the wide path, " + std::to_string(b.size()) +
           " on the portable one)";
  }
  return {};
}

std::string CompareScanningPaths(std::span<const std::uint8_t> bytes, XmlSyntax syntax) {
  PathReading wide, portable;
  ParseOnPath(bytes, syntax, /*wide=*/true, wide);
  ParseOnPath(bytes, syntax, /*wide=*/false, portable);
  std::string difference = CompareReadings(wide, portable);
  if (!difference.empty() || !wide.parsed) return difference;
  // Saving writes the encoding into the declaration: the trees were compared as read, above.
  SaveOnPath(/*wide=*/true, wide);
  SaveOnPath(/*wide=*/false, portable);
  return CompareReadings(wide, portable);
}

}  // namespace kestrelwing::testing
