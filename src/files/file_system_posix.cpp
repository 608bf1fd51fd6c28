#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/file_system.h"

namespace octets {
namespace {

int descriptor(std::FILE* file) { return ::fileno(file); }

int open_flags(const char* mode) {
  if (std::strcmp(mode, "w") == 0) return O_WRONLY | O_CREAT;
  if (std::strcmp(mode, "a") == 0) return O_WRONLY | O_CREAT | O_APPEND;
  if (std::strcmp(mode, "r+b") == 0) return O_RDWR;
  return O_RDONLY;
}

}  // namespace

std::FILE* open_regular_file(const char* name, const char* mode) {
  // Opening a FIFO or a device may act on it (a FIFO's writer is let go, a
  // tape rewinds): only a regular file is opened.
  struct stat info;
  if (::stat(name, &info) == 0 && !S_ISREG(info.st_mode)) {
    errno = S_ISDIR(info.st_mode) ? EISDIR : ENODEV;
    return nullptr;
  }
  const int flags = open_flags(mode);
  int fd = ::open(name, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return nullptr;
  // Checked again, should another program have put something else in its
  // place, and emptied only then.
  errno = ENODEV;
  bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                ::fcntl(fd, F_SETFL, flags & O_APPEND) == 0 &&
                (std::strcmp(mode, "w") != 0 || ::ftruncate(fd, 0) == 0);
  std::FILE* file = usable ? ::fdopen(fd, mode) : nullptr;
  if (file == nullptr) ::close(fd);
  return file;
}

bool seek_file(std::FILE* file, std::int64_t offset) {
  return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::int64_t seek_to_end(std::FILE* file) {
  if (::fseeko(file, 0, SEEK_END) != 0) return -1;
  return static_cast<std::int64_t>(::ftello(file));
}

std::int64_t stored_size(std::FILE* file) {
  struct stat info;
  if (::fstat(descriptor(file), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

// The program catches no signal, so none of these calls is ever interrupted.
std::int64_t StreamFile::read(std::int64_t offset, unsigned char* bytes, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(descriptor(stream_), bytes + done, count - done,
                        static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

std::size_t StreamFile::write(std::int64_t offset, const unsigned char* bytes,
                              std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::pwrite(descriptor(stream_), bytes + done, count - done,
                         static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

TextWrite write_text(std::FILE* file, const char* bytes, std::size_t count) {
  int fd = descriptor(file);
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd, bytes + done, count - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  // After a write, even one that appends, the position is just past its bytes.
  off_t end = ::lseek(fd, 0, SEEK_CUR);
  if (end < 0) return {done, -1, -1};
  return {done, static_cast<std::int64_t>(end) - static_cast<std::int64_t>(done), end};
}

bool is_standard_output(std::FILE* file) {
  struct stat output, info;
  return ::fstat(STDOUT_FILENO, &output) == 0 && ::fstat(descriptor(file), &info) == 0 &&
         output.st_dev == info.st_dev && output.st_ino == info.st_ino;
}

bool sync_file(std::FILE* file) {
  if (::fdatasync(descriptor(file)) == 0) return true;
  // A file system that cannot sync at all has nothing more to do: the data is
  // as safe there as it will ever be, which is no failure of this write.
  return errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP;
}

bool truncate_file(std::FILE* file, std::int64_t size) {
  return ::ftruncate(descriptor(file), static_cast<off_t>(size)) == 0;
}

bool names_file(const char* name, std::FILE* file) {
  struct stat named, opened;
  return ::stat(name, &named) == 0 && ::fstat(descriptor(file), &opened) == 0 &&
         named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

bool lock_file(std::FILE* file) {
  return ::flock(descriptor(file), LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

}  // namespace octets
