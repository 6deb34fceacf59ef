#include "io/null_stream.h"

std::streamsize null_out_buf::xsputn(const char* /*data*/, std::streamsize count) { return count; }

null_out_buf::int_type null_out_buf::overflow(int_type c) { return c; }

// The buffer member is built after the ostream part, so the stream is bound to it once it exists.
null_out_stream::null_out_stream() : std::ostream(nullptr) { rdbuf(&buf); }

null_out_stream::~null_out_stream() { rdbuf(nullptr); }

const std::string null_stream_newline = "\n";
const std::string null_stream_empty;
std::ostringstream null_stream_text;
null_out_stream null_out;
