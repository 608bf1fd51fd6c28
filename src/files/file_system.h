#pragma once

// The file system as the file operations need it. Each platform has its own
// source file, and the build picks one.

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace octets {

/// Opens a regular file with one of the C library's modes ("w", "a", "r", "rb",
/// "r+b"), symbolic links followed. Folders, devices, pipes and sockets are
/// refused without being opened. Opening never waits. Returns null on failure,
/// errno telling why (EISDIR a folder, ENODEV another object that is no
/// regular file); an existing file is left untouched then.
std::FILE* open_regular_file(const char* name, const char* mode);

/// Moves to a byte offset from the start of the file; false on failure.
bool seek_file(std::FILE* file, std::int64_t offset);

/// Moves to the end of the file and returns that position, the file's size as
/// the stream counts it; -1 when it cannot be determined.
std::int64_t seek_to_end(std::FILE* file);

/// The size the file has on the storage now, whatever the stream's position;
/// -1 on failure.
std::int64_t stored_size(std::FILE* file);

/// Where the bytes of one write_text() went.
struct TextWrite {
  /// How many of the bytes reached the file: all of them unless a write failed.
  std::size_t written;
  /// The offsets in the file of what reached it, from `start` up to `end`
  /// (equal when nothing did); -1 when the position cannot be told.
  std::int64_t start;
  std::int64_t end;
};

/// Writes text to a stream that has no buffer, at its end when it appends,
/// going on after a short write until all of it is written or a write fails.
TextWrite write_text(std::FILE* file, const char* bytes, std::size_t count);

bool is_standard_output(std::FILE* file);

/// Asks the system to put the file's data on its storage; false on failure.
bool sync_file(std::FILE* file);

/// Cuts the file to `size` bytes; false on failure.
bool truncate_file(std::FILE* file, std::int64_t size);

/// Takes an exclusive lock on the whole file, held until it is closed. Returns
/// false only when another program holds a lock on it; a file system that
/// knows no locks lets the file go unlocked.
bool lock_file(std::FILE* file);

/// True when `name` still leads to the open file: same device and inode. Looks
/// at the name without opening it. Always true on Windows, where an open file
/// cannot be renamed or deleted.
bool names_file(const char* name, std::FILE* file);

/// A file read and written at given offsets: what a pass over a file in place
/// needs, and what a test can stand in for.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;
  /// The size the file has on the storage now; -1 on failure.
  virtual std::int64_t size() = 0;
  /// Reads up to `count` bytes at `offset`. Returns how many were read, fewer
  /// only at the end of the file, or -1 when a read failed.
  virtual std::int64_t read(std::int64_t offset, unsigned char* bytes, std::size_t count) = 0;
  /// Writes `count` bytes at `offset`; returns how many reached the file before
  /// a write failed (`count` when all did).
  virtual std::size_t write(std::int64_t offset, const unsigned char* bytes,
                            std::size_t count) = 0;
  /// Puts the file's data on its storage; false on failure.
  virtual bool sync() = 0;
};

/// The file under an open stream, reached past the stream's own position and
/// buffer.
class StreamFile final : public RandomAccessFile {
 public:
  explicit StreamFile(std::FILE* stream) : stream_(stream) {}
  std::int64_t size() override { return stored_size(stream_); }
  std::int64_t read(std::int64_t offset, unsigned char* bytes, std::size_t count) override;
  std::size_t write(std::int64_t offset, const unsigned char* bytes, std::size_t count) override;
  bool sync() override { return sync_file(stream_); }

 private:
  std::FILE* stream_;
};

}  // namespace octets
