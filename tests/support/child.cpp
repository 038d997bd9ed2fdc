#include "support/child.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace tbl::test {
namespace {

std::string slurp(std::FILE* f) {
  std::string s;
  std::rewind(f);
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  return s;
}

}  // namespace

ChildResult run_in_child(const std::function<void()>& body) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  if (out == nullptr || err == nullptr) throw std::runtime_error("tmpfile failed");
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    int status = kBodyReturned;
    try {
      body();
    } catch (...) {
      status = kBodyThrew;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(status);  // normal exit: the library's units are flushed
  }
  int st = 0;
  waitpid(pid, &st, 0);
  ChildResult r;
  r.exited = WIFEXITED(st);
  r.status = r.exited ? WEXITSTATUS(st) : -1;
  r.out = slurp(out);
  r.err = slurp(err);
  std::fclose(out);
  std::fclose(err);
  return r;
}

}  // namespace tbl::test
