// Reads a manifest with cXml, as XML 1.0, and prints it flat, one element a line: its path from the
// root, then its attributes in document order, then its text. The end-to-end tests compare this
// listing element by element with the expected one. With -embedded it lists the manifest a program
// carries as resource 1 of type RT_MANIFEST, read through the system's own resource functions. Exit
// code 2 when the file cannot be read or parsed.
#include <windows.h>

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
  for (const kestrelwing::NodeRef& child : node.Nodes())  // elements: no white space, comments
    List(*child, path);
}

}  // namespace

std::vector<std::uint8_t> ReadFileBytes(const wchar_t* path) {
  std::vector<std::uint8_t> bytes;
  std::FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) return bytes;
  std::uint8_t buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  std::fclose(file);
  return bytes;
}

std::vector<std::uint8_t> ReadEmbeddedBytes(const wchar_t* program) {
  std::vector<std::uint8_t> bytes;
  const HMODULE module =
      LoadLibraryExW(program, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return bytes;
  if (const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    const auto* data =
        static_cast<const std::uint8_t*>(LockResource(LoadResource(module, resource)));
    if (data != nullptr) bytes.assign(data, data + SizeofResource(module, resource));
  }
  FreeLibrary(module);
  return bytes;
}

// Wide arguments and a wide file open: the path may hold any character.
int wmain(int argc, wchar_t** argv) {
  const bool embedded = argc == 3 && std::wstring(argv[1]) == L"-embedded";
  if (argc != 2 && !embedded) {
    std::fprintf(stderr, "usage: ManifestListing [-embedded] <manifest or program>\n");
    return 1;
  }
  const std::vector<std::uint8_t> bytes =
      embedded ? ReadEmbeddedBytes(argv[2]) : ReadFileBytes(argv[1]);
  if (bytes.empty()) {
    std::fprintf(stderr, "cannot read the manifest\n");
    return 2;
  }
  cXml document;
  document.SetSyntax(kestrelwing::XmlSyntax::Xml10);
  if (!document.Parse(std::span<const std::uint8_t>(bytes))) {
    std::fprintf(stderr, "%s\n", ToUtf8(document.Result()).c_str());
    return 2;
  }
  if (const auto declaration = document.XMLNode()) List(*declaration, u"?");
  List(*document.Root(), u"");
  return 0;
}
