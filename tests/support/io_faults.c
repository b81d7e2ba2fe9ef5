#define _GNU_SOURCE
#include "io_faults.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

int pulldexCopyFault = 0;
int pulldexReadFaultFd = -1;
int pulldexFolderSyncFault = 0;
int pulldexChmodFault = 0;
int pulldexLinkFault = 0;

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

int fsync(int fd) {
  struct stat st;
  if (pulldexFolderSyncFault != 0 && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = pulldexFolderSyncFault;
    return -1;
  }
  return (int)syscall(SYS_fsync, fd);
}

int fchmod(int fd, mode_t mode) {
  if (pulldexChmodFault != 0) {
    errno = pulldexChmodFault;
    return -1;
  }
  return (int)syscall(SYS_fchmod, fd, mode);
}

int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
  if (pulldexLinkFault != 0) {
    errno = pulldexLinkFault;
    return -1;
  }
  return (int)syscall(SYS_linkat, fromFolder, from, toFolder, to, flags);
}
