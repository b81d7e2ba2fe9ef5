// Child processes, as the platform starts them: one program with its
// arguments, its standard output and standard error piped back to us, its
// standard input empty. One implementation per platform (sys_posix.cpp,
// sys_win.cpp), beside the file calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/sys.h"

namespace pulldex::sys {

struct Child {
  Handle output = kNoHandle;  // its standard output, for sys::read
  Handle errors = kNoHandle;  // its standard error
  std::intptr_t id = -1;      // a process id, or a process handle on Windows
};

// Starts `program` (a path, or a name looked up as findProgram does) with
// `arguments` (without the program's own name). 0, or the error number of
// the start that failed: a program that is not there gives the platform's
// "no such file", one that may not be run "permission denied". The child
// inherits its pipes and nothing else, and ends when we end: on POSIX when
// a signal ends us, on Windows through a job.
int startChild(const std::string& program, const std::vector<std::string>& arguments, Child& child);
// Closes our ends of its pipes and waits for it to end. Its exit status, or
// -1 when it did not exit by itself (a signal, say).
int waitChild(Child& child);
// Ends it at once, and waits for it.
void stopChild(Child& child);

// The program `name` as startChild would run it: the path of the file, or
// empty when there is none. A name with a folder in it is taken as it is.
// Windows looks beside this program first, then in the folders of PATH,
// adding ".exe", and nowhere else.
std::string findProgram(const std::string& name);

// Whether the system would run `program` through its shell (a .bat or .cmd
// file on Windows), where the quoting of its arguments does not hold.
bool runsThroughShell(const std::string& program);

}  // namespace pulldex::sys
