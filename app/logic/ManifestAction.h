// "Generar SxS": runs the manifest generator beside the program on a component, then rewrites the
// manifest it wrote pretty-printed, and tells the user how it went.
#pragma once

#include <string>
#include <string_view>

#include "ActionHost.h"

namespace kestrelwing {

// The generator, below the program's folder.
std::u16string ManifestToolPath(std::u16string_view programFolder);

// Where the generator writes the manifest of componentPath: the component's folder, its file
// name without extension, ".sxs.manifest". A path without a folder names a file in the
// current folder, and so does its manifest.
std::u16string ManifestPathFor(std::u16string_view componentPath);

// Runs the generator on componentPath with a fresh report file, waits for it with the window
// busy, and rewrites its manifest in place with four-space indentation. Shows "SxS Generado" on
// success, otherwise one error message, either with the generator's report below it; a manifest
// that cannot be processed is left as the generator wrote it.
void GenerateManifest(ActionHost& host, std::u16string_view componentPath);

}  // namespace kestrelwing
