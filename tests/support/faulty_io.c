/* Preloaded into pulldex-cli by the command-line tests to make reads of
   regular files misbehave as some file systems do:
     PULLDEX_FAULT_CHUNK=N   a read returns at most N bytes (FUSE, network)
     PULLDEX_FAULT_EIO_AT=N  a read at or past offset N fails with EIO
     PULLDEX_FAULT_EOF_AT=N  the file seems to end at offset N (it shrank)
     PULLDEX_FAULT_COPY_EIO=1  in-kernel copies fail with EIO, as when the
                             disk under either file fails
   Otherwise in-kernel copies are refused, so that every byte goes through read(). */
#define _GNU_SOURCE
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

static long long setting(const char* name) {
  const char* value = getenv(name);
  return value ? atoll(value) : -1;
}

ssize_t read(int fd, void* buffer, size_t n) {
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    const long long chunk = setting("PULLDEX_FAULT_CHUNK");
    const long long eio = setting("PULLDEX_FAULT_EIO_AT");
    const long long eof = setting("PULLDEX_FAULT_EOF_AT");
    const off_t at = lseek(fd, 0, SEEK_CUR);
    if (eio >= 0 && at + (off_t)n > eio) {
      if (at >= eio) {
        errno = EIO;
        return -1;
      }
      n = (size_t)(eio - at);
    }
    if (eof >= 0) {
      if (at >= eof) return 0;
      if (at + (off_t)n > eof) n = (size_t)(eof - at);
    }
    if (chunk > 0 && n > (size_t)chunk) n = (size_t)chunk;
  }
  return syscall(SYS_read, fd, buffer, n);
}

ssize_t copy_file_range(int in, off_t* inOffset, int out, off_t* outOffset, size_t n, unsigned flags) {
  (void)in, (void)inOffset, (void)out, (void)outOffset, (void)n, (void)flags;
  errno = setting("PULLDEX_FAULT_COPY_EIO") == 1 ? EIO : ENOSYS;
  return -1;
}
