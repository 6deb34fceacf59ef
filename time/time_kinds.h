// The timestamp encodings met in forensic data, one bit each. qm::time's constructors (time_kinds.cpp)
// turn a raw value of one of these kinds into a FILETIME.
#pragma once

#include <cstdint>

namespace qm {

enum type_time : std::uint32_t {
    type_none = 0,
    type_filetime = 1,             // 100-ns ticks since 1601-01-01 UTC
    type_chrome = 2,               // microseconds since 1601-01-01 UTC
    type_firefox = 4,              // microseconds since 1970-01-01 UTC
    type_unix = 8,                 // seconds since 1970-01-01 UTC
    type_unix_ms = 16,             // milliseconds since 1970-01-01 UTC
    type_dos = 32,                 // FAT date and time words
    type_ntp = 64,                 // 64-bit NTP timestamp, big-endian
    type_guid = 128,               // version-1 GUID
    type_ole = 256,                // days since 1899-12-30 (OLE automation date)
    type_systemtime = 512,         // SYSTEMTIME, field by field (UTC)
    type_systemtime_local = 1024,  // SYSTEMTIME through the C library's local-time functions
    type_vhd = 2048,               // u32 seconds since 2000-01-01 17:00 UTC
    type_qpc = 4096,               // performance counter, frequency in counts per second
    type_qpc_us = 0x2000,          // performance counter, frequency in counts per microsecond
    type_filetime_block = 0x4000,  // two u32 then a FILETIME
    type_dotnet = 32768,           // .NET ticks since 0001-01-01
    type_snowflake = 0x20000,      // snowflake id; bits 22-63 ms since 2015-01-01
    type_safari = 0x40000,         // seconds since 2001-01-01 UTC
    type_hfs = 0x80000,            // seconds since 1904-01-01 UTC
};

// The kind's name text as the time-candidate printout writes it ("filetime", "unix time", ...); the empty
// text for a kind without one (0x2000, 0x4000, unknown codes).
const char* type_time_name(std::uint32_t kind);

}  // namespace qm
