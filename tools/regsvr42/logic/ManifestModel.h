// What a registration-free COM manifest says about one component, gathered before any XML is made.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrelwing::regsvr42 {

enum class Architecture { X86, Amd64 };

// The manifest's processorArchitecture value: "x86" or "amd64".
std::u16string ArchitectureName(Architecture architecture);

struct AssemblyIdentity {
  std::u16string name;
  std::u16string version;  // a.b.c.d
  Architecture architecture = Architecture::X86;
};

// The aspects a class's MiscStatus key describes: the default value, then subkeys 1, 2, 4 and 8.
enum class Aspect { All, Content, Thumbnail, Icon, Docprint };
inline constexpr std::size_t kAspectCount = 5;

struct ComClass {
  std::u16string clsid;  // "{...}"
  std::u16string description;
  std::u16string threadingModel;             // empty when none is registered
  std::u16string progId;                     // the version-dependent ProgID, empty when none
  std::vector<std::u16string> otherProgIds;  // version-independent and any further ProgIDs
  std::u16string typeLibraryId;
  std::array<std::optional<std::uint32_t>, kAspectCount> miscStatus;  // indexed by Aspect
};

// LIBFLAGS bits of a type library.
inline constexpr std::uint16_t kLibFlagRestricted = 0x1;
inline constexpr std::uint16_t kLibFlagControl = 0x2;
inline constexpr std::uint16_t kLibFlagHidden = 0x4;
inline constexpr std::uint16_t kLibFlagHasDiskImage = 0x8;

struct TypeLibrary {
  std::u16string id;  // LIBID "{...}"
  std::uint16_t majorVersion = 0;
  std::uint16_t minorVersion = 0;
  std::u16string helpDirectory;
  std::uint16_t flags = 0;
  int resourceId = 1;
};

// A type library the component registered from a file of its own beside it.
struct TypeLibraryFile {
  std::u16string fileName;
  TypeLibrary library;
};

struct ProxyStubInterface {
  std::u16string iid;
  std::u16string name;
  std::u16string typeLibraryId;
  int numMethods = 0;             // 0 when unknown
  std::u16string baseInterface;   // IID of the interface it derives from, empty for none
  std::u16string proxyStubClsid;  // empty for the OLE automation marshaler
};

struct FileHash {
  std::u16string algorithm;  // "SHA1"
  std::u16string hex;        // lower-case hexadecimal digest
};

struct ComponentManifest {
  AssemblyIdentity identity;
  std::u16string fileName;
  std::optional<FileHash> hash;
  std::optional<std::uint64_t> size;
  std::vector<ComClass> classes;
  std::vector<TypeLibrary> typeLibraries;  // embedded in the component
  std::vector<TypeLibraryFile> typeLibraryFiles;
  std::vector<ProxyStubInterface> interfaces;     // marshaled by a proxy/stub of another file
  std::vector<ProxyStubInterface> ownProxyStubs;  // marshaled by a proxy/stub class of this file
};

}  // namespace kestrelwing::regsvr42
