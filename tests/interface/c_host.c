/* A host written in C: the public header must stay valid C, and the entry
 * points with C++ linkage must be reachable from it by their decorated
 * names. */
#include <stdint.h>
#include <stdio.h>
#include <unistd.h>

#include "TesselBasicLib.h"

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

  const char name[] = "c_host_unit.txtTAIL";
  int unit = 50;
  VIZ_FFOPEN(name, 15, &unit);
  VIZ_FFCLOSE(&unit);
  check(access("c_host_unit.txt", F_OK) == 0, "VIZ_FFOPEN creates the file");
  unlink("c_host_unit.txt");

  if (failures == 0) printf("c host: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
