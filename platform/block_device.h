// Geometry of a raw block device, for sizing a device whose end an lseek cannot find.
#pragma once

#include <cstdint>

// Number of logical blocks of the block device open on `descriptor`: its size in bytes divided by its
// logical block size. Returns 0 and sets *count, or -1 (with *count untouched) when the descriptor is not
// a block device or the device cannot be asked; -1 also for a null `count`.
int platform_block_count(int descriptor, std::uint64_t* count);

// Logical block size in bytes of the block device open on `descriptor`. Returns 0 and sets *size, or -1
// (with *size untouched) when it cannot be asked or `size` is null.
int platform_block_size(int descriptor, std::uint32_t* size);
