#pragma once
// Material libraries (`mtllib` names) are found relative to the OBJ file that names them. A result
// written into another folder still names them, so a viewer opening it finds no materials unless
// the libraries are copied beside it; fmhost says so.

#include <string>
#include <vector>

namespace fm::host::fmhost {

// One warning line naming those of `names` (the libraries the file `input` names) that lie beside
// `input` and are not beside `output`; empty when there are none.
std::string MissingMaterialLibraries(const std::vector<std::string>& names,
                                     const std::string& input, const std::string& output);

}  // namespace fm::host::fmhost
