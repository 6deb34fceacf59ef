// Logs edited by hand stay logs the library takes: every checksum written afresh after an edit.
#pragma once

#include <cstdint>
#include <vector>

#include "reader_fixtures.h"
#include "sqlite_format/wal.h"

namespace reader_fixtures {

// Writes every checksum of `log` afresh, in the word order its magic gives, as the library writes them: the
// header's over its first 24 bytes, then each whole frame's chained from the one before.
inline void reseal_wal(std::vector<std::uint8_t>& log) {
    if (log.size() < 32) return;
    const bool big_endian = (log[3] & 1) != 0;
    std::uint32_t sum[2] = {0, 0};
    wal_checksum(sum, log.data(), 24, big_endian);
    put_be32(log, 24, sum[0]);
    put_be32(log, 28, sum[1]);
    const std::size_t frame = get_be32(log, 8) + 24;
    for (std::size_t f = 32; frame > 24 && f + frame <= log.size(); f += frame) {
        wal_checksum(sum, log.data() + f, 8, big_endian);
        wal_checksum(sum, log.data() + f + 24, frame - 24, big_endian);
        put_be32(log, f + 16, sum[0]);
        put_be32(log, f + 20, sum[1]);
    }
}

}  // namespace reader_fixtures
