// The kind of a file from the type bits (mask 0xF000) of a file_stats record's mode.
#pragma once

#include "io/file_stats.h"

// 1 when the type bits are 0x1000 (FIFO), else 0.
int is_fifo(const file_stats& stats);
// 1 when the type bits are 0xC000 (socket), else 0.
int is_socket(const file_stats& stats);
