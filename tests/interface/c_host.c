/* A host written in C: the public header must stay valid C, the entry
 * points with C++ linkage must be reachable from it by their decorated
 * names, and a host that hides its own symbols by default must still link
 * against the entry points it declares through the header. */
#include <stdint.h>
#include <stdio.h>
#include <unistd.h>

#pragma GCC visibility push(hidden)
#include "TesselBasicLib.h"
#pragma GCC visibility pop

static int failures = 0;

static void check(int ok, const char* what) {
  if (!ok) {
    printf("FAILED: %s\n", what);
    ++failures;
  }
}

int main(void) {
  double a[4] = {4.0, 2.0, 2.0, 3.0}, b[2] = {6.0, 5.0};
  int32_t ipiv[2];
  check(CLapack_DGESV(2, 1, a, 2, ipiv, b, 2) == 0, "CLapack_DGESV returns 0");
  check(b[0] > 0.999999 && b[0] < 1.000001 && b[1] > 0.999999 && b[1] < 1.000001, "solution (1, 1)");
  check(DLAMCH("B", 1) == 2.0, "DLAMCH base");

  /* y = A x for A = [1 2; 0 3] by columns. */
  const int32_t m = 2, n = 2, no = 0, irn[3] = {1, 1, 2}, ip[3] = {1, 2, 4};
  const double values[3] = {1.0, 2.0, 3.0}, x[2] = {1.0, 1.0};
  double y[2] = {0.0, 0.0};
  MC09AD(&m, &n, values, x, y, &no, irn, ip);
  check(y[0] == 3.0 && y[1] == 3.0, "MC09AD product");

  const char name[] = "c_host_unit.txtTAIL";
  int unit = 50;
  VIZ_FFOPEN(name, 15, &unit);
  VIZ_FFCLOSE(&unit);
  check(access("c_host_unit.txt", F_OK) == 0, "VIZ_FFOPEN creates the file");
  unlink("c_host_unit.txt");

  if (failures == 0) printf("c host: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
