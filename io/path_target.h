// Where a path really leads: the file an open of it reaches, every link followed. The output guard
// compares outputs with evidence by it, and the companions of a database lie beside it.
#pragma once

#include <string>

// The absolute path of the file that opening `path` reaches: trailing '/' and '\' removed as the file
// layer removes them, every link followed (a last link that leads nowhere too, so that the file it would
// create is named), "." and ".." applied after the links. Empty for an empty path.
std::string path_target(const std::string& path);
