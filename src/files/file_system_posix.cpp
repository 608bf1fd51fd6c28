#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "files/file_system.h"

namespace octets {
namespace {

int descriptor(std::FILE* file) { return ::fileno(file); }


int open_flags(const char* mode) {
  if (std::strcmp(mode, "w") == 0) return O_WRONLY;
  if (std::strcmp(mode, "a") == 0) return O_WRONLY | O_APPEND;
  if (std::strcmp(mode, "r+b") == 0) return O_RDWR;
  return O_RDONLY;
}

/// Opens the object `name` leads to (through any symbolic links) only when it
/// is a regular file, and describes it in `info`. The name is looked up once:
/// what is checked is what is opened, even if another program puts something
/// else in its place meanwhile. -1 with errno set otherwise.
int open_checked(const char* name, int flags, struct stat& info) {
  int path = ::open(name, O_PATH | O_CLOEXEC);
  if (path < 0) return -1;
  if (::fstat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(path);
    errno = S_ISDIR(info.st_mode) ? EISDIR : ENODEV;
    return -1;
  }
  char again[32];
  std::snprintf(again, sizeof again, "/proc/self/fd/%d", path);
  // Non-blocking as a last guard, should the object opened not be the one
  // checked after all.
  int fd = ::open(again, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  // Without /proc the name is looked up a second time; the file checked after
  // the open must then still be the one checked before it.
  if (fd < 0 && errno == ENOENT) fd = ::open(name, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  ::close(path);
  return fd;
}

/// Creates a missing file; -1 with EEXIST when something has appeared under
/// the name meanwhile.
int create_missing(const char* name, int flags) {
  int fd = ::open(name, flags | O_CREAT | O_EXCL | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  struct stat link;
  if (fd >= 0 || errno != EEXIST || ::lstat(name, &link) != 0 || !S_ISLNK(link.st_mode)) {
    return fd;
  }
  // A symbolic link to a missing file: the file it names is created, as
  // always; only a regular file passes the check after the open.
  return ::open(name, flags | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
}

}  // namespace

std::FILE* open_regular_file(const char* name, const char* mode) {
  // Opening a FIFO or a device may act on it (a FIFO's writer is let go, a
  // tape rewinds): only a regular file is ever opened.
  const int flags = open_flags(mode);
  const bool creates = std::strcmp(mode, "w") == 0 || std::strcmp(mode, "a") == 0;
  struct stat checked;
  int fd = -1;
  // Each round either opens the file, or finds that something appeared or
  // went away under the name since the last look; a few rounds are enough
  // for anything but a program that swaps it without end.
  for (int round = 0; round < 16 && fd < 0; ++round) {
    fd = open_checked(name, flags, checked);
    if (fd >= 0 || errno != ENOENT || !creates) break;
    fd = create_missing(name, flags);
    if (fd >= 0) {
      if (::fstat(fd, &checked) != 0) checked.st_mode = 0;
      break;
    }
    if (errno != EEXIST) break;
  }
  if (fd < 0) return nullptr;
  struct stat info;
  errno = ENODEV;
  // Truncated only once it is known to be the regular file checked.
  bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                info.st_dev == checked.st_dev && info.st_ino == checked.st_ino &&
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

std::int64_t StreamFile::read(std::int64_t offset, unsigned char* bytes, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(descriptor(stream_), bytes + done, count - done,
                        static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
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
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return done;
}

TextWrite write_text(std::FILE* file, const char* bytes, std::size_t count) {
  int fd = descriptor(file);
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd, bytes + done, count - done);
    if (n < 0 && errno == EINTR) continue;
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
  for (;;) {
    if (::fdatasync(descriptor(file)) == 0) return true;
    if (errno == EINTR) continue;
    // A file system that cannot sync at all has nothing more to do: the data
    // is as safe there as it will ever be, which is no failure of this write.
    return errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP;
  }
}

bool truncate_file(std::FILE* file, std::int64_t size) {
  return ::ftruncate(descriptor(file), static_cast<off_t>(size)) == 0;
}

bool names_file(const char* name, std::FILE* file) {
  // stat() opens nothing, so it neither waits for nor breaks a lease.
  struct stat named, opened;
  return ::stat(name, &named) == 0 && ::fstat(descriptor(file), &opened) == 0 &&
         named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

bool StreamFile::hold(std::function<bool()> notified) {
  notified_ = std::move(notified);
#ifdef F_SETLEASE
  // The kernel refuses it while any other descriptor is open on the file.
  held_ = ::fcntl(descriptor(stream_), F_SETLEASE, F_WRLCK) == 0;
#endif
  return held_;
}

bool StreamFile::wanted() {
#ifdef F_SETLEASE
  // A lease being broken reads as the kind it is to become; one the kernel
  // took back after the break time reads as none. Its notice comes first.
  if (held_ && (!notified_ || notified_())) {
    return ::fcntl(descriptor(stream_), F_GETLEASE) != F_WRLCK;
  }
#endif
  return false;
}

void StreamFile::release() {
#ifdef F_SETLEASE
  if (held_) ::fcntl(descriptor(stream_), F_SETLEASE, F_UNLCK);
#endif
  held_ = false;
}

bool lock_file(std::FILE* file) {
  for (;;) {
    if (::flock(descriptor(file), LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    return errno != EWOULDBLOCK;
  }
}

}  // namespace octets
