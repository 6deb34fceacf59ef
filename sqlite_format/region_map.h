// The shape every carving region has: the free space of a database, the regions of a log and the pages of a
// journal are each a map of file offsets to lengths, which the page walker reads alike.
#pragma once

#include <cstdint>
#include <map>

// A region map: file offset -> length in bytes.
using region_map = std::map<std::uint64_t, std::uint64_t>;
