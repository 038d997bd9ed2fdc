#include "interface/units.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace tbl::io {
namespace {

struct Unit {
  std::FILE* file = nullptr;
  std::string name;
  bool owned = false;        // closed by us (false for stdout/stderr)
  bool truncated = false;    // an existing file is cut at the first record
};

// The process-wide unit table.  Held through a pointer so that loading the
// library runs no constructor; the table is created on the first write or
// attach and closed at exit.
std::map<fint, Unit>* g_units = nullptr;

void close_at_exit() { close_all_units(); }

std::map<fint, Unit>& table() {
  if (g_units == nullptr) {
    g_units = new std::map<fint, Unit>();
    std::atexit(close_at_exit);
  }
  return *g_units;
}

std::string errno_text() { return std::strerror(errno); }

// Opens a file for formatted sequential output with status "unknown": an
// existing file is kept until the first record is written, which replaces
// its contents.
std::FILE* open_unknown(fint unit, const std::string& name) {
  // The system call would stop at an embedded zero and open another file.
  if (name.find('\0') != std::string::npos) fatal_io("cannot open file", unit, "name holds a zero byte");
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) fatal_io("cannot open file", unit, name + ": " + errno_text());
  std::FILE* f = ::fdopen(fd, "w");
  if (f == nullptr) {
    ::close(fd);
    fatal_io("cannot open file", unit, name + ": " + errno_text());
  }
  return f;
}

Unit& unit_for_write(fint unit) {
  auto& t = table();
  auto it = t.find(unit);
  if (it != t.end()) return it->second;
  Unit u;
  if (unit == 6) {
    u.file = stdout;
    u.name = "standard output";
  } else if (unit == 0) {
    u.file = stderr;
    u.name = "standard error";
  } else if (unit == 5) {
    fatal_io("cannot write to unit", unit, "unit 5 is connected to standard input");
  } else if (unit < 0) {
    fatal_io("cannot write to unit", unit, "a private unit that is not open");
  } else {
    std::string env = "FORT" + std::to_string(unit);
    const char* named = std::getenv(env.c_str());
    u.name = (named != nullptr && *named != '\0') ? std::string(named) : "fort." + std::to_string(unit);
    u.file = open_unknown(unit, u.name);
    u.owned = true;
  }
  return t.emplace(unit, u).first->second;
}

void close_unit(fint unit, Unit& u) {
  // Detached before the close: a failed close ends the process, and the
  // stream must not be flushed again once fclose has released it.
  std::FILE* f = u.file;
  u.file = nullptr;
  if (u.owned) {
    if (std::fclose(f) != 0) fatal_io("cannot close file", unit, u.name + ": " + errno_text());
  } else {
    std::fflush(f);
  }
}

}  // namespace

void unit_write_line(fint unit, std::string_view line) {
  Unit& u = unit_for_write(unit);
  if (u.owned && !u.truncated) {
    // Only a regular file has contents to replace: a device such as
    // /dev/null, a pipe or a terminal is written as it is.
    struct stat st {};
    if (std::fflush(u.file) != 0 || ::fstat(::fileno(u.file), &st) != 0 ||
        (S_ISREG(st.st_mode) && ::ftruncate(::fileno(u.file), 0) != 0))
      fatal_io("cannot write to file", unit, u.name + ": " + errno_text());
    u.truncated = true;
  }
  if ((!line.empty() && std::fwrite(line.data(), 1, line.size(), u.file) != line.size()) ||
      std::fputc('\n', u.file) == EOF)
    fatal_io("cannot write to file", unit, u.name + ": " + errno_text());
  if (!u.owned && u.file == stderr) std::fflush(stderr);
}

// The file's identity, to recognise one file reached by two names.
bool same_file(std::FILE* a, std::FILE* b) {
  struct stat sa {}, sb {};
  return ::fstat(::fileno(a), &sa) == 0 && ::fstat(::fileno(b), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

void unit_attach(fint unit, std::string_view name) {
  if (unit < 0) fatal_io("cannot open file", unit, std::string(name) + ": negative unit number");
  auto& t = table();
  auto it = t.find(unit);
  // Attaching a unit again to the file it already writes keeps its position.
  if (it != t.end() && it->second.owned && it->second.name == name) return;
  Unit u;
  u.name = std::string(name);
  u.file = open_unknown(unit, u.name);
  u.owned = true;
  // Two units writing one file through separate streams would overwrite
  // each other's records.
  for (auto& [n, other] : t) {
    if (n != unit && other.owned && same_file(other.file, u.file)) {
      std::fclose(u.file);
      fatal_io("cannot open file", unit, u.name + ": already attached to unit " + std::to_string(n));
    }
  }
  if (it != t.end()) {
    close_unit(unit, it->second);
    t.erase(it);
  }
  t.emplace(unit, u);
}

bool unit_open_private(fint unit, std::string_view name) {
  if (unit >= 0 || name.find('\0') != std::string_view::npos) return false;
  unit_detach(unit);  // whatever file the unit had is closed first
  const std::string file(name);
  // Emptied only once it is known not to be a file that another unit
  // writes: two streams on one file would overwrite each other's records.
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  std::FILE* f = ::fdopen(fd, "w");
  if (f == nullptr) {
    ::close(fd);
    return false;
  }
  auto& t = table();
  bool usable = true;
  for (auto& entry : t)
    if (entry.second.owned && entry.second.file != nullptr && same_file(entry.second.file, f)) usable = false;
  struct stat st {};
  if (usable && (::fstat(fd, &st) != 0 || (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0))) usable = false;
  if (!usable) {
    std::fclose(f);
    return false;
  }
  Unit u;
  u.file = f;
  u.name = file;
  u.owned = true;
  u.truncated = true;  // emptied by the open itself
  t.emplace(unit, u);
  return true;
}

void unit_detach(fint unit) {
  if (g_units == nullptr) return;
  auto it = g_units->find(unit);
  if (it == g_units->end()) return;
  close_unit(unit, it->second);
  g_units->erase(it);
}

void close_all_units() {
  if (g_units != nullptr) {
    for (auto& [n, u] : *g_units) close_unit(n, u);
    g_units->clear();
  }
  std::fflush(stdout);
  std::fflush(stderr);
}

void stop_process() {
  close_all_units();
  std::exit(0);
}

void fatal_io(std::string_view what, fint unit, std::string_view detail) {
  // What the other units hold is still delivered; their errors no longer
  // matter, as the process ends here.
  if (g_units != nullptr)
    for (auto& entry : *g_units)
      if (entry.second.file != nullptr) std::fflush(entry.second.file);
  std::fflush(stdout);
  std::fprintf(stderr, "TesselBasicLib: fatal input-output error on unit %d: %.*s (%.*s)\n",
               static_cast<int>(unit), static_cast<int>(what.size()), what.data(),
               static_cast<int>(detail.size()), detail.data());
  std::fflush(stderr);
  std::_Exit(2);
}

}  // namespace tbl::io
