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
// "no such file".
int startChild(const std::string& program, const std::vector<std::string>& arguments, Child& child);
// Closes our ends of its pipes and waits for it to end. Its exit status, or
// -1 when it did not exit by itself (a signal, say).
int waitChild(Child& child);
// Ends it at once, and waits for it.
void stopChild(Child& child);

// The program `name` as startChild would run it: the path of the file, or
// empty when there is none. A name with a folder in it is taken as it is.
// Windows looks beside this program first, then on PATH, adding ".exe".
std::string findProgram(const std::string& name);

}  // namespace pulldex::sys
