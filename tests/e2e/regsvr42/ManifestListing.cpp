// Reads a manifest with cXml and prints it flat, one element a line: its path from the root, then
// its attributes in document order, then its text. The end-to-end tests compare this listing
// element by element with the expected one. Exit code 2 when the file cannot be read or parsed.
#include <kestrelwing/cXml.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using kestrelwing::cXml;
using kestrelwing::cXmlNode;
using kestrelwing::ToUtf8;

void List(const cXmlNode& node, const std::u16string& parentPath) {
  const std::u16string path = parentPath.empty() ? node.Name() : parentPath + u"/" + node.Name();
  std::u16string line = path;
  for (const kestrelwing::PropertyPair& property : node.Properties()) {
    line += u" " + property[0] + u"=\"" + property[1] + u"\"";
  }
  if (!node.Value().empty()) {
    line += u" text=\"";
    line += node.Value();
    line += u"\"";
  }
  std::printf("%s\n", ToUtf8(line).c_str());
  for (std::int32_t i = 1; i <= node.NodeCount(); ++i)
    List(*node.Node(i), path);
}

}  // namespace

// Wide arguments and a wide file open: the path may hold any character.
int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ManifestListing <manifest>\n");
    return 1;
  }
  std::FILE* file = _wfopen(argv[1], L"rb");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot open the manifest\n");
    return 2;
  }
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  std::fclose(file);
  cXml document;
  if (!document.Parse(std::span<const std::uint8_t>(bytes))) {
    std::fprintf(stderr, "%s\n", ToUtf8(document.Result()).c_str());
    return 2;
  }
  if (const auto declaration = document.XMLNode()) List(*declaration, u"?");
  List(*document.Root(), u"");
  return 0;
}
