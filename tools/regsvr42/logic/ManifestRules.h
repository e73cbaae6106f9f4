// The rules Windows' side-by-side loader enforces on a manifest, checked before a manifest is put
// in place: a manifest that breaks one makes the program fail on the customer's machine ("the
// side-by-side configuration is incorrect") even where Wine, more lenient, loads it.
#pragma once

#include <kestrelwing/cXml.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ManifestModel.h"

namespace kestrelwing::regsvr42 {

// Where a component manifest is to be written.
struct ComponentPlacement {
  std::u16string manifestFileName;      // the destination's file name, without its folder
  bool assemblyNamedDllBeside = false;  // "<assembly name>.dll" stands in the destination folder
};

// The first rule the component manifest breaks, as one line; none when it keeps them all.
// `identity` is the component's own (its architecture included).
std::optional<std::u16string> CheckComponentManifest(const cXml& document,
                                                     const AssemblyIdentity& identity,
                                                     const ComponentPlacement& placement);

// The first rule broken by what the generator writes into a client's manifest: its root and the
// one dependency on `dependency`. What else the client's manifest holds is the client's own and
// is not judged.
std::optional<std::u16string> CheckClientManifest(const cXml& document,
                                                  const AssemblyIdentity& dependency);

// The bytes of a manifest file: UTF-8 without a byte-order mark.
std::optional<std::u16string> CheckManifestBytes(std::span<const std::uint8_t> bytes);

// The bytes the generator writes for `document`: UTF-8 without a byte-order mark, indented by
// four spaces; empty when the document cannot be written (Result() says why).
std::string ManifestBytes(cXml& document);

// What makes `name` unusable as an assembly name, or none.
std::optional<std::u16string> AssemblyNameProblem(std::u16string_view name);

}  // namespace kestrelwing::regsvr42
