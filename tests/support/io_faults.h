// Faults of the system's own calls for the tests of this program (Linux):
// the test program's own definitions of these calls stand in for the C
// library's while a fault is set.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// copy_file_range fails with this error number; 0: it works as usual.
extern int pulldexCopyFault;
// Reads of this file descriptor fail with EIO; -1: none do.
extern int pulldexReadFaultFd;
// fsync of a folder fails with this error number; 0: it works as usual.
extern int pulldexFolderSyncFault;
// fchmod fails with this error number; 0: it works as usual.
extern int pulldexChmodFault;
// linkat fails with this error number, as without /proc and without the
// right to link by descriptor; 0: it works as usual.
extern int pulldexLinkFault;

#ifdef __cplusplus
}
#endif
