// Faults that cannot be had for real on a test machine, injected into the
// built program with LD_PRELOAD. Each is off unless its variable is set:
//   OCTETS_FAIL_SYNC=N          the first N syncs of a file fail with EIO
//   OCTETS_SYNC_ERRNO=E         ...or with error number E instead
//   OCTETS_FAIL_WRITES_AFTER=N  positioned writes stop with EIO after N bytes
//   OCTETS_FAIL_ALLOC_ABOVE=N   allocations of more than N bytes fail
// Everything else goes to the C library as usual.

#include <dlfcn.h>
#include <errno.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>

extern "C" void* __libc_malloc(size_t size);

namespace {

long long setting(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? -1 : std::atoll(value);
}

int syncs_failed = 0;
long long bytes_written = 0;

bool sync_fails() {
  long long failing = setting("OCTETS_FAIL_SYNC");
  if (syncs_failed >= failing) return false;
  ++syncs_failed;
  long long error = setting("OCTETS_SYNC_ERRNO");
  errno = error > 0 ? static_cast<int>(error) : EIO;
  return true;
}

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int fdatasync(int fd) { return sync_fails() ? -1 : next<int (*)(int)>("fdatasync")(fd); }
int fsync(int fd) { return sync_fails() ? -1 : next<int (*)(int)>("fsync")(fd); }

ssize_t pwrite(int fd, const void* bytes, size_t count, off_t offset) {
  long long limit = setting("OCTETS_FAIL_WRITES_AFTER");
  if (limit >= 0) {
    long long room = limit - bytes_written;
    if (room <= 0) {
      errno = EIO;
      return -1;
    }
    if (static_cast<long long>(count) > room) count = static_cast<size_t>(room);
  }
  ssize_t n = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite64")(fd, bytes, count,
                                                                              offset);
  if (n > 0) bytes_written += n;
  return n;
}
ssize_t pwrite64(int fd, const void* bytes, size_t count, off_t offset)
    __attribute__((alias("pwrite")));

void* malloc(size_t size) {
  // Read with the C library's own allocator, which getenv never calls.
  static long long limit = setting("OCTETS_FAIL_ALLOC_ABOVE");
  if (limit >= 0 && static_cast<long long>(size) > limit) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_malloc(size);
}

}  // extern "C"
