#pragma once

// Everything the program needs that differs between Linux and Windows. Each
// platform has its own source file, and the build picks one.

#include <cstdint>
#include <cstdio>

#include "console/console.h"

namespace octets {

/// Standard input, read without the C library's buffering so that the console
/// layer alone decides what is pending.
ByteSource& standard_input();

/// The terminal standard output is attached to, if any.
Terminal& standard_terminal();

/// Opens a regular file with one of the C library's modes ("w", "a", "r", "rb",
/// "r+b"). Folders, devices, pipes and sockets are refused, and opening never
/// waits. Returns null on failure; an existing file is left untouched then.
std::FILE* open_regular_file(const char* name, const char* mode);

/// Moves to a byte offset from the start of the file; false on failure.
bool seek_file(std::FILE* file, std::int64_t offset);

/// The size of the file, or -1 when it cannot be determined. Leaves the position
/// at the end of the file.
std::int64_t measure_open_file(std::FILE* file);

/// When standard output is a pipe, asks the system for a larger one, so that a
/// long view reaches the reader in fewer, bigger steps. Does nothing otherwise,
/// or where the system says no.
void enlarge_output_pipe();

}  // namespace octets
