#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "files/file_system.h"

namespace octets {
namespace {

HANDLE handle(std::FILE* file) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
}

}  // namespace

std::FILE* open_regular_file(const char* name, const char* mode) {
  // Devices such as CON or NUL open like files; only a real file will do,
  // checked before the open and again after it.
  struct _stat64 info;
  if (::_stat64(name, &info) == 0 && (info.st_mode & _S_IFMT) != _S_IFREG) {
    errno = (info.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : ENODEV;
    return nullptr;
  }
  std::FILE* file = std::fopen(name, mode);
  if (file == nullptr) return nullptr;
  if (::_fstat64(::_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

bool seek_file(std::FILE* file, std::int64_t offset) {
  return ::_fseeki64(file, offset, SEEK_SET) == 0;
}

std::int64_t seek_to_end(std::FILE* file) {
  if (::_fseeki64(file, 0, SEEK_END) != 0) return -1;
  return ::_ftelli64(file);
}

std::int64_t stored_size(std::FILE* file) {
  struct _stat64 info;
  if (::_fstat64(::_fileno(file), &info) != 0) return -1;
  return info.st_size;
}

std::int64_t StreamFile::read(std::int64_t offset, unsigned char* bytes, std::size_t count) {
  int fd = ::_fileno(stream_);
  if (::_lseeki64(fd, offset, SEEK_SET) < 0) return -1;
  std::size_t done = 0;
  while (done < count) {
    int n = ::_read(fd, bytes + done, static_cast<unsigned>(count - done));
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

std::size_t StreamFile::write(std::int64_t offset, const unsigned char* bytes,
                              std::size_t count) {
  int fd = ::_fileno(stream_);
  if (::_lseeki64(fd, offset, SEEK_SET) < 0) return 0;
  std::size_t done = 0;
  while (done < count) {
    int n = ::_write(fd, bytes + done, static_cast<unsigned>(count - done));
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

TextWrite write_text(std::FILE* file, const char* bytes, std::size_t count) {
  int fd = ::_fileno(file);
  std::size_t done = 0;
  while (done < count) {
    int n = ::_write(fd, bytes + done, static_cast<unsigned>(count - done));
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  __int64 end = ::_lseeki64(fd, 0, SEEK_CUR);
  if (end < 0) return {done, -1, -1};
  // The line writer's files are in text mode: each line end is stored after a
  // carriage return.
  auto stored = static_cast<std::int64_t>(done + std::count(bytes, bytes + done, '\n'));
  return {done, end - stored, end};
}

bool is_standard_output(std::FILE* file) {
  HANDLE standard = reinterpret_cast<HANDLE>(::_get_osfhandle(1));
  if (::GetFileType(standard) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION output, info;
  // A file whose identity cannot be told is taken for standard output's own,
  // so that a view of it ends whatever it is.
  if (!::GetFileInformationByHandle(standard, &output) ||
      !::GetFileInformationByHandle(handle(file), &info)) {
    return true;
  }
  return output.dwVolumeSerialNumber == info.dwVolumeSerialNumber &&
         output.nFileIndexHigh == info.nFileIndexHigh && output.nFileIndexLow == info.nFileIndexLow;
}

bool sync_file(std::FILE* file) { return ::_commit(::_fileno(file)) == 0; }

bool truncate_file(std::FILE* file, std::int64_t size) {
  return ::_chsize_s(::_fileno(file), size) == 0;
}

// The C runtime opens a file without sharing its deletion: while it is open,
// no program can rename it or delete it, so its name still leads to it.
bool names_file(const char*, std::FILE*) { return true; }

bool lock_file(std::FILE* file) {
  OVERLAPPED whole{};
  if (::LockFileEx(handle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                   MAXDWORD, MAXDWORD, &whole)) {
    return true;
  }
  return ::GetLastError() != ERROR_LOCK_VIOLATION;
}

}  // namespace octets
