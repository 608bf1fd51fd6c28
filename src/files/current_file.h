#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "console/console.h"

namespace octets {

/// The one file the program works on: open from the name prompt of an operation
/// to that operation's end, and the name last typed.
struct CurrentFile {
  std::FILE* stream = nullptr;
  char name[NAME_CAPACITY] = {};
};

extern CurrentFile current_file;
/// The line being typed for the line writer.
extern char line_buffer[LINE_CAPACITY];

/// Closes the current file, if any. Returns false when the close failed, which
/// for a file being written means its last data may not have reached it.
bool close_current_file();

/// The current file while an operation has it open: it is closed when this
/// goes, on every way out of the operation, an exception's included.
class OpenFile {
 public:
  OpenFile() = default;
  OpenFile(OpenFile&& other) noexcept : open_(other.open_) { other.open_ = false; }
  OpenFile& operator=(OpenFile&&) = delete;
  ~OpenFile() { close(); }

  explicit operator bool() const { return open_; }
  std::FILE* stream() const { return current_file.stream; }
  /// Closes the file now; as close_current_file(). True when it was not open.
  bool close();

 private:
  friend OpenFile open_named_file(Console& console, const char* mode);
  explicit OpenFile(bool open) : open_(open) {}
  bool open_ = false;
};

/// Asks for a file name and opens it with a C library mode into current_file.
/// The typed line's last character (its line end) is dropped; a name of 29
/// characters or more loses its 29th and the rest of the line stays pending.
/// A name holding a zero byte opens nothing: the message names the text before
/// that byte.
/// A file opened in any mode but "r" has no C library buffer.
/// Returns a closed OpenFile when no file was opened: at the end of input, with
/// nothing written, or after the message naming the file that could not be
/// opened, which at a screen says why on a row of its own.
OpenFile open_named_file(Console& console, const char* mode);

/// Writes a file name as the user typed it, except at a terminal, where it is
/// rendered so that nothing in it acts on the terminal (see shown_name()).
/// Every name the program echoes goes through here.
void write_name(Console& console, const char* name);

/// The size of the current file in bytes, -1 when it cannot be determined.
/// Leaves the position at the end of the file.
std::int64_t measure_file();

/// measure_file(), and when the size cannot be determined, says so: the
/// operation then has nothing more to do.
std::int64_t measure_file_or_report(Console& console);

/// A stream's bytes from its start, read in chunks so that memory stays small
/// whatever the size; never more than the size measured beforehand.
class ChunkReader {
 public:
  /// Starts at the beginning of the stream.
  ChunkReader(std::FILE* stream, std::int64_t size, std::size_t chunk_capacity);

  /// For a file measured at 0 bytes, as a pseudo-file (/proc) is whatever it
  /// holds: reads up to `limit` bytes now and takes their count for the size,
  /// to be delivered by next_chunk(). False when the file holds more than that.
  bool measure_by_reading(std::size_t limit);

  /// Reads the next chunk at the current position. A chunk shorter than asked
  /// for means the file ended early (ended_early()) or a read failed
  /// (failed()): every later chunk is empty. Empty once `size` bytes have been
  /// read.
  std::span<unsigned char> next_chunk();

  std::int64_t size() const { return size_; }
  /// Bytes delivered so far, the last chunk included.
  std::int64_t bytes_read() const { return read_; }
  bool failed() const { return failed_; }
  /// The file ended before its size: it is shorter than it was measured.
  bool ended_early() const { return ended_early_; }

 private:
  std::FILE* stream_;
  std::vector<unsigned char> chunk_;
  /// What measure_by_reading() read, and how much of it was delivered.
  std::vector<unsigned char> held_;
  std::size_t held_delivered_ = 0;
  std::int64_t size_;
  std::int64_t read_ = 0;
  bool failed_ = false;
  bool ended_early_ = false;
};

}  // namespace octets
