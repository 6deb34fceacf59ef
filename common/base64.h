// Base64 encoding of a byte buffer (RFC 4648 standard alphabet, '=' padding), optionally in MIME-style
// lines of 76 characters ended by CR LF and with a NUL terminator. The decoder is base64_decode_buffer
// in common/escapes.h.
#pragma once

#include <vector>

// out is emptied, then receives the encoded text. With wrap and crlf, CR LF follows every 76 characters
// (wrap without crlf inserts nothing); with crlf, CR LF also ends the text. With terminate, one NUL
// character is appended. Returns 1; 0 (out empty) for a null pointer or a length of 0 or less. Reads
// exactly `length` bytes at data.
int base64_encode(const unsigned char* data, int length, std::vector<char>& out, bool wrap, bool terminate,
                  bool crlf);
