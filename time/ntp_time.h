// Two compact binary forms of time values: the 64-bit NTP timestamp (seconds since 1900-01-01 UTC and a
// binary fraction, both big-endian as stored) and the packed time set (up to eight FILETIMEs as one
// reference value plus little-endian differences).
#pragma once

#include <cstdint>
#include <vector>

#include "time/calendar.h"

// An NTP timestamp exactly as stored: bytes 0-3 seconds since 1900, bytes 4-7 fraction of 2^-32 s, both
// big-endian. As a u64 the same eight bytes are kept in memory order.
struct ntp_stamp {
    unsigned char seconds[4] = {0, 0, 0, 0};
    unsigned char fraction[4] = {0, 0, 0, 0};
};

// An NTP timestamp followed by a sign byte (non-zero = negative).
struct signed_ntp_stamp {
    ntp_stamp value;
    unsigned char negative = 0;
};

// Host-order views and stores of the two fields.
std::uint32_t ntp_seconds(const ntp_stamp& v);
std::uint32_t ntp_fraction(const ntp_stamp& v);
void ntp_store_seconds(ntp_stamp& v, std::uint32_t seconds);
void ntp_store_fraction(ntp_stamp& v, std::uint32_t fraction);
// The eight stored bytes to and from a u64 in memory order.
ntp_stamp ntp_from_u64(std::uint64_t stored);
std::uint64_t ntp_to_u64(const ntp_stamp& v);

// ntp = 0 first; false for a negative FILETIME. Seconds keep their low 32 bits.
bool filetime_to_ntp(std::int64_t filetime, std::uint64_t& ntp);
std::uint64_t filetime_to_ntp_value(std::int64_t filetime);  // 0 on failure
bool windows_filetime_to_ntp(const _windows_filetime& filetime, std::uint64_t& ntp);
bool systemtime_to_ntp(const _windows_systemtime& st, std::uint64_t& ntp);

// whole = FILETIME of the whole seconds; fraction_ticks = fraction x 10^7 / 2^32; filetime = whole plus
// the truncated fraction. The (whole, fraction_ticks) pair feeds qm::time's high-precision constructor.
bool ntp_to_filetime_parts(std::uint64_t ntp, std::uint64_t& filetime, std::uint64_t& whole_seconds_filetime,
                           double& fraction_ticks);
bool ntp_to_filetime(std::uint64_t ntp, std::uint64_t& filetime);
bool ntp_to_date_parts(const std::uint64_t& ntp, date_parts& parts);

// The current time() in whole seconds as a stored NTP value (fraction 0).
std::uint64_t get_current_ntp_value();
// (fraction in host order) x 2^32 + (seconds in host order) of the two stored words.
std::uint64_t ntp_to_host_u64(const std::uint32_t ntp[2]);
// |a - b| in seconds.
double ntp_elapsed_seconds(const ntp_stamp& a, const ntp_stamp& b);
bool ntp_less(const ntp_stamp& a, const ntp_stamp& b);
// Negative before positive; two negatives by magnitude the other way.
bool signed_ntp_less(const signed_ntp_stamp& a, const signed_ntp_stamp& b);
// seconds - s, or 0 when s is larger; the fraction is kept.
void ntp_subtract_seconds(ntp_stamp& v, std::uint32_t s);
// Adds v (host order when host_order, else stored order) to the fraction without carry into the seconds;
// returns the new fraction as stored (memory order).
std::uint32_t ntp_add_fraction(ntp_stamp& v, std::uint32_t add, bool host_order);
// Stores `fraction`, then writes `extra` into its last 4 - precision bytes (little-endian within them; all
// four as a u32, byte-swapped when swap is set). A precision outside 1-4 counts as 4, and a byte count
// outside 1-4 as 1.
void ntp_set_fraction(ntp_stamp& v, std::uint32_t fraction, std::uint32_t extra, std::uint32_t precision,
                      bool swap);
// The fraction from nanoseconds, microseconds or milliseconds (value x 2^32 / unit), with precision 3, 2, 1.
void ntp_set_fraction_ns(ntp_stamp& v, std::uint32_t ns, std::uint32_t extra, bool swap);
void ntp_set_fraction_us(ntp_stamp& v, std::uint32_t us, std::uint32_t extra, bool swap);
void ntp_set_fraction_ms(ntp_stamp& v, std::uint32_t ms, std::uint32_t extra, bool swap);

// Shortened fields: the last n of the four stored bytes (n outside 1-4 counts as 4).
void append_seconds_bytes(const ntp_stamp& v, std::vector<unsigned char>& out, int n);
void append_fraction_bytes(const ntp_stamp& v, std::vector<unsigned char>& out, int n);
// n bytes of src into the last n bytes of a 4-byte field (n outside 1-4 counts as 1); the leading bytes
// are left as they were. Null pointers do nothing.
void copy_fraction_bytes(unsigned char* dst, const unsigned char* src, int n);
void set_fraction_bytes(ntp_stamp& v, const unsigned char* src, int n);
// Up to n bytes from `index` on into the last n fraction bytes, stopping at the vector's end; returns how
// many were read (0 when index is not inside the vector). n outside 1-4 counts as 4.
int read_fraction_bytes(ntp_stamp& v, const std::vector<unsigned char>& bytes, int index, int n);
// The last n fraction bytes at the top of a u32 (host order), byte-swapped when swap is set.
std::uint32_t fraction_tail(const ntp_stamp& v, int n, bool swap);
// lead = the fraction with its last n bytes zeroed, rest = those last n bytes (host order).
void split_fraction(const ntp_stamp& v, std::uint32_t& lead, std::uint32_t& rest, int n);
// seconds / n, fraction = (seconds mod n) + fraction / n (the remainder is not rescaled). False, nothing
// changed, for n = 0. The signed form keeps the sign byte.
bool ntp_divide(ntp_stamp& v, std::uint32_t n);
bool signed_ntp_divide(signed_ntp_stamp& v, std::uint32_t n);

// Packs 1-8 FILETIMEs into `out` (appended); returns the length, 0 when refused. Times of 2^60 or more
// are refused: the reference field holds 60 bits.
std::uint16_t pack_time_set(const std::vector<std::uint64_t>& times, std::vector<unsigned char>& out,
                            bool milliseconds);
// Reads a packed set; returns the bytes consumed, 0 when data is null, length is 8 or less, or shorter than
// the header announces. Never reads past data + length.
std::uint32_t unpack_time_set(const unsigned char* data, std::uint32_t length,
                              std::vector<std::uint64_t>& times);
