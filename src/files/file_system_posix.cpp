#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/file_system.h"

namespace octets {
namespace {

int descriptor(std::FILE* file) { return ::fileno(file); }

}  // namespace

std::FILE* open_regular_file(const char* name, const char* mode) {
  // Opening a FIFO or a device may act on it (a FIFO's reader sees its end, a
  // tape rewinds): anything that exists and is not a regular file is refused
  // before it is opened.
  struct stat info;
  if (::stat(name, &info) == 0 && !S_ISREG(info.st_mode)) return nullptr;
  int flags = 0;
  bool truncate = false;
  if (std::strcmp(mode, "w") == 0) {
    // Truncated only once it is known to be a regular file.
    flags = O_WRONLY | O_CREAT;
    truncate = true;
  } else if (std::strcmp(mode, "a") == 0) {
    flags = O_WRONLY | O_CREAT | O_APPEND;
  } else if (std::strcmp(mode, "r+b") == 0) {
    flags = O_RDWR;
  } else {
    flags = O_RDONLY;
  }
  // Non-blocking so that a FIFO put in the file's place since does not wait.
  int fd = ::open(name, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return nullptr;
  bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                ::fcntl(fd, F_SETFL, flags & O_APPEND) == 0 &&
                (!truncate || ::ftruncate(fd, 0) == 0);
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

bool StreamFile::hold() {
#ifdef F_SETLEASE
  // The kernel refuses it while any other descriptor is open on the file.
  held_ = ::fcntl(descriptor(stream_), F_SETLEASE, F_WRLCK) == 0;
#endif
  return held_;
}

bool StreamFile::wanted() {
#ifdef F_SETLEASE
  // A lease being broken reads as the kind it is to become; one the kernel
  // took back after the break time reads as none.
  if (held_) return ::fcntl(descriptor(stream_), F_GETLEASE) != F_WRLCK;
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
