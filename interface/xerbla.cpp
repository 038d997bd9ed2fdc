// The error handler that the BLAS and LAPACK routines call on an illegal
// argument.  The library supplies its own so that the message keeps the
// routine's name in a fixed six-column field and the stop closes the
// library's units.
#include <algorithm>
#include <cstddef>
#include <string>

#include "interface/common.hpp"
#include "interface/fmt.hpp"
#include "interface/units.hpp"

extern "C" [[noreturn]] void xerbla_(const char* srname, const tbl::fint* info, std::size_t srname_len) {
  // The name occupies exactly six columns: a shorter one is padded on the
  // right (an A edit would pad on the left), a longer one is cut.
  std::string name(6, ' ');
  std::copy_n(srname, std::min<std::size_t>(srname_len, 6), name.begin());
  tbl::io::write(6, "(' ** On entry to ',A6,' parameter number ',I2,' had ','an illegal value')", name,
                 *info);
  tbl::io::stop_process();
}
