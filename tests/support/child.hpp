// Runs a piece of code in a forked child process and captures what it writes
// on standard output and standard error, and how it ended.  For routines that
// end the process (the library's stop, fatal input-output errors).
#pragma once

#include <functional>
#include <string>

namespace tbl::test {

struct ChildResult {
  std::string out;     // standard output
  std::string err;     // standard error
  bool exited = false; // ended by exit (not by a signal)
  int status = -1;     // exit status when exited
};

// Exit status of a child whose body returned instead of ending the process.
inline constexpr int kBodyReturned = 111;

ChildResult run_in_child(const std::function<void()>& body);

}  // namespace tbl::test
