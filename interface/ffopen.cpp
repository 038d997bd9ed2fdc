#include <string_view>

#include "interface/routines.hpp"
#include "interface/units.hpp"

extern "C" {

TBL_EXPORT void FFOPEN(const char* name, const tbl::fint* iunit, std::size_t name_len) {
  std::string_view file(name, name_len);
  // A name passed in a fixed-length character buffer is blank-padded.
  while (!file.empty() && file.back() == ' ') file.remove_suffix(1);
  tbl::io::unit_attach(*iunit, file);
}

TBL_EXPORT void FFCLOSE(const tbl::fint* iunit) { tbl::io::unit_detach(*iunit); }
}
