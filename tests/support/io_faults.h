// Faults of the system's own copy and read calls for the tests of this
// program (Linux): the test program's own definitions of copy_file_range and
// read stand in for the C library's while a fault is set.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// copy_file_range fails with this error number; 0: it works as usual.
extern int pulldexCopyFault;
// Reads of this file descriptor fail with EIO; -1: none do.
extern int pulldexReadFaultFd;

#ifdef __cplusplus
}
#endif
