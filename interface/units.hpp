// Numbered output units.  Unit 6 writes to the C standard output stream (so
// the library's text interleaves with the host's own), unit 0 to standard
// error; a unit attached by FFOPEN writes to its file; any other unit written
// without being attached writes to the file named by the environment variable
// FORTn, or else to "fort.n" in the current directory, created on the first
// write.  Negative units are the library's private files (unit_open_private)
// and are written only while open.
#pragma once

#include <string_view>

#include "interface/common.hpp"

namespace tbl::io {

// Writes one record (a line without its terminator) on the unit.
void unit_write_line(fint unit, std::string_view line);

// Attaches the named file to the unit (status "unknown": an existing file is
// reused, and the first record written replaces its contents).
void unit_attach(fint unit, std::string_view name);

// A package's own file, kept off the host's unit numbers: a negative unit
// (which no host can attach) opened on the named file, created or emptied
// at once.  Unlike an attach, a failed open is reported to the caller
// (false) and the process goes on.  Written with unit_write_line and the
// format-record writer and closed with unit_detach like any other unit.
bool unit_open_private(fint unit, std::string_view name);

// Detaches and closes the unit; a unit that is not open is left alone.
void unit_detach(fint unit);

// Flushes and closes every open unit.
void close_all_units();

// Ends the host process as the library's stop does: no text, every unit
// closed, exit status 0.
[[noreturn]] void stop_process();

// A failed open, close or write of a unit: a diagnostic on standard error,
// then the process ends with a non-zero status.
[[noreturn]] void fatal_io(std::string_view what, fint unit, std::string_view detail);

}  // namespace tbl::io
