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

// Exit status of a child whose body returned instead of ending the process,
// and of one whose body threw (the child never goes back into the test run).
inline constexpr int kBodyReturned = 111;
inline constexpr int kBodyThrew = 112;

ChildResult run_in_child(const std::function<void()>& body);

// The child ended as the library's fatal input-output path ends a process:
// by exit with a status of its own (neither 0 nor the body's return) after
// the diagnostic on standard error.
inline bool ended_by_fatal_io(const ChildResult& r) {
  return r.exited && r.status != 0 && r.status != kBodyReturned &&
         r.err.find("fatal input-output error") != std::string::npos;
}

}  // namespace tbl::test
