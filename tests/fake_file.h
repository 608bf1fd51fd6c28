#pragma once

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_system.h"

namespace octets::test {

/// A file in memory that fails, or is changed as another program would change
/// it, at the moments a test chooses.
class FakeFile final : public RandomAccessFile {
 public:
  explicit FakeFile(std::string content) : bytes(std::move(content)) {}

  std::int64_t size() override { return size_fails ? -1 : static_cast<std::int64_t>(bytes.size()); }

  std::int64_t read(std::int64_t offset, unsigned char* out, std::size_t count) override {
    if (reads_fail_after >= 0 && bytes_read + static_cast<std::int64_t>(count) > reads_fail_after) {
      if (read_fails_once) reads_fail_after = -1;
      return -1;
    }
    auto at = static_cast<std::size_t>(offset);
    std::size_t n = at >= bytes.size() ? 0 : std::min(count, bytes.size() - at);
    std::memcpy(out, bytes.data() + at, n);
    bytes_read += static_cast<std::int64_t>(n);
    if (after_read) after_read(bytes, reads);
    ++reads;
    return static_cast<std::int64_t>(n);
  }

  std::size_t write(std::int64_t offset, const unsigned char* in, std::size_t count) override {
    std::size_t allowed = writes < write_allowances.size() ? write_allowances[writes] : count;
    ++writes;
    std::size_t n = std::min(count, allowed);
    auto at = static_cast<std::size_t>(offset);
    if (at + n > bytes.size()) bytes.resize(at + n);
    std::memcpy(bytes.data() + at, in, n);
    return n;
  }

  bool sync() override { return syncs_to_fail-- <= 0; }

  std::string bytes;
  /// Reads fail once they would take the count of bytes read past this; -1: never.
  std::int64_t reads_fail_after = -1;
  bool read_fails_once = false;
  std::int64_t bytes_read = 0;
  /// Another program's turn after each read, with the read's rank.
  std::function<void(std::string& bytes, int rank)> after_read;
  int reads = 0;
  bool size_fails = false;
  /// The most each write may put in the file, by the write's rank; later writes
  /// are whole.
  std::vector<std::size_t> write_allowances;
  std::size_t writes = 0;
  /// How many syncs fail before one succeeds.
  int syncs_to_fail = 0;
};

/// Output that lets another program act on a file whenever a write holds the
/// given text, while the dialogue has that file open.
class ActingBuffer : public std::stringbuf {
 public:
  ActingBuffer(std::string trigger, std::function<void()> act)
      : trigger_(std::move(trigger)), act_(std::move(act)) {}

 protected:
  std::streamsize xsputn(const char* text, std::streamsize n) override {
    std::string_view written(text, static_cast<std::size_t>(n));
    if (written.find(trigger_) != std::string_view::npos) act_();
    return std::stringbuf::xsputn(text, n);
  }

 private:
  std::string trigger_;
  std::function<void()> act_;
};

}  // namespace octets::test
