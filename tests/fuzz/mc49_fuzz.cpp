// MC49AD with every mode, lengths around their minima and, in the checking
// modes, indices out of range and duplicates.  The modes without checks get
// what their caller must guarantee: indices in range.
#include <cstdint>

#include "TesselBasicLib.h"
#include "tests/fuzz/fuzz_input.hpp"

using tbl::fuzz::HostArray;
using tbl::fuzz::Input;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  static const int32_t kModes[] = {1, 2, -1, -2, 0, 3};
  const int32_t ind = kModes[in.range(0, 5)];
  const int32_t nc = in.range(-1, 20), nr = in.range(-1, 20), nnz = in.range(-1, 60);
  const int32_t yesa = in.flag() ? -1 : 0;
  const int64_t big = nr > nc ? nr : nc;
  const int32_t la = in.length(yesa ? nnz : 1);
  const int32_t liw = in.length((ind == 2 || ind == -2) ? int64_t(nr) + 1 : big + 1);
  const int32_t lip = in.length((ind == 2 || ind == -2) ? big + 1 : int64_t(nc) + 1);
  HostArray<int32_t> irn(nnz, 0), jcn(nnz, 0), ip(lip), iw(liw);
  HostArray<double> a(la, 0.0);
  const bool checked = ind > 0;
  for (int64_t k = 0; k < irn.size(); ++k) {
    irn[k] = checked ? in.index(nr) : in.range(1, nr > 0 ? nr : 1);
    jcn[k] = checked ? in.index(nc) : in.range(1, nc > 0 ? nc : 1);
    if (k < a.size()) a[k] = in.real();
  }
  int32_t iflag = 0;
  MC49AD(&ind, &nc, &nr, &nnz, irn.data(), jcn.data(), &yesa, &la, a.data(), &lip, ip.data(), &liw, iw.data(),
         &iflag);
  return 0;
}
