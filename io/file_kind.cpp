#include "io/file_kind.h"

namespace {

constexpr std::uint64_t kTypeMask = 0xF000;
constexpr std::uint64_t kFifo = 0x1000;
constexpr std::uint64_t kSocket = 0xC000;

}  // namespace

int is_fifo(const file_stats& stats) { return (stats.mode & kTypeMask) == kFifo ? 1 : 0; }

int is_socket(const file_stats& stats) { return (stats.mode & kTypeMask) == kSocket ? 1 : 0; }
