#define _GNU_SOURCE
#include "io_faults.h"

#include <errno.h>
#include <sys/syscall.h>
#include <unistd.h>

int pulldexCopyFault = 0;
int pulldexReadFaultFd = -1;

ssize_t copy_file_range(int in, off_t* inOffset, int out, off_t* outOffset, size_t n, unsigned flags) {
  if (pulldexCopyFault != 0) {
    errno = pulldexCopyFault;
    return -1;
  }
  return syscall(SYS_copy_file_range, in, inOffset, out, outOffset, n, flags);
}

ssize_t read(int fd, void* buffer, size_t n) {
  if (fd >= 0 && fd == pulldexReadFaultFd) {
    errno = EIO;
    return -1;
  }
  return syscall(SYS_read, fd, buffer, n);
}
