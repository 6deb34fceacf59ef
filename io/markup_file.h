// The file form of stripping markup elements: read a whole file, remove every element of one tag and
// write the result.
#pragma once

// Reads the file at input_path, removes every element of `tag` (strip_markup_elements; for a file that
// starts with the UTF-16LE byte-order mark FF FE, remove_tagged_sections over its 16-bit units) and writes
// the bytes kept to output_path, or over the input file when output_path is null (truncating). 1 when the
// file was read, stripped and written; 0 for a null input path or tag, a file that cannot be read or
// written.
int strip_markup_elements_in_file(const char* input_path, const char* output_path, const char* tag);
