#pragma once

// Everything the program needs that differs between Linux and Windows. Each
// platform has its own source file, and the build picks one.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "console/console.h"

namespace octets {

/// Readies the process before the dialogue starts: a closed standard input,
/// output or error is reopened on the null device, so that no file the program
/// opens can take its number, and a file size limit makes a write fail instead
/// of ending the process. Returns false when standard output was closed.
bool prepare_process();

/// Ends the process as the signal would have ended it, had it not been held
/// back while a file was being rewritten.
[[noreturn]] void end_by_signal(int signal);

/// Standard input, read without the C library's buffering so that the console
/// layer alone decides what is pending.
ByteSource& standard_input();

/// The terminal standard output is attached to, if any.
Terminal& standard_terminal();

/// Opens a regular file with one of the C library's modes ("w", "a", "r", "rb",
/// "r+b"). Folders, devices, pipes and sockets are refused before anything is
/// opened, and the opened file is checked again. Opening never waits. Returns
/// null on failure; an existing file is left untouched then.
std::FILE* open_regular_file(const char* name, const char* mode);

/// Moves to a byte offset from the start of the file; false on failure.
bool seek_file(std::FILE* file, std::int64_t offset);

/// The size of the file, or -1 when it cannot be determined. Leaves the position
/// at the end of the file.
std::int64_t measure_open_file(std::FILE* file);

/// The file's size as it is now, whatever the stream's position; -1 on failure.
std::int64_t current_size(std::FILE* file);

/// Reads up to `count` bytes at `offset`, past the stream's own position and
/// buffer. Returns how many were read, fewer only at the end of the file, or -1
/// when a read failed.
std::int64_t read_at(std::FILE* file, std::int64_t offset, unsigned char* bytes,
                     std::size_t count);

/// Writes `count` bytes at `offset`; returns how many reached the file before a
/// write failed (`count` when all did).
std::size_t write_at(std::FILE* file, std::int64_t offset, const unsigned char* bytes,
                     std::size_t count);

/// Asks the system to put the file's data on its storage; false on failure.
bool sync_file(std::FILE* file);

/// Cuts the file to `size` bytes; false on failure.
bool truncate_file(std::FILE* file, std::int64_t size);

/// Takes an exclusive lock on the whole file, held until it is closed. Returns
/// false only when another program holds a lock on it; a file system that
/// knows no locks lets the file go unlocked.
bool lock_file(std::FILE* file);

/// While one exists, an interruption (SIGINT, SIGTERM or SIGHUP; Ctrl-C or
/// Ctrl-Break on Windows) does not end the process: the first is recorded for
/// the program to act on at a safe point. An interruption that was ignored
/// when the shield went up stays ignored. The previous handling comes back when
/// it goes.
class InterruptionShield {
 public:
  InterruptionShield();
  ~InterruptionShield();
  InterruptionShield(const InterruptionShield&) = delete;
  InterruptionShield& operator=(const InterruptionShield&) = delete;

  /// The signal received since the shield went up, or 0.
  int received() const;
};

/// When standard output is a pipe, asks the system for a larger one, so that a
/// long view reaches the reader in fewer, bigger steps. Does nothing otherwise,
/// or where the system says no.
void enlarge_output_pipe();

}  // namespace octets
