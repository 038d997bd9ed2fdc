/*
 * A C host solving one dense linear system three ways through the library's
 * entry points:
 *   1. by address, as a Fortran caller would: Lapack_DGESV;
 *   2. by value, with INFO as the result: CLapack_DGETRF and CLapack_DGETRS;
 *   3. the classic pair: Linpack_DGEFA and Linpack_DGESL.
 * It prints the scaled residual ||A x - b|| / (||A|| ||x||) and the time of
 * each.
 *
 *   dense_solve [n]      (default n = 600)
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "TesselBasicLib.h"

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

/* ||A x - b||_inf / (||A||_inf ||x||_inf) for column-major A. */
static double scaled_residual(int n, const double* a, const double* x, const double* b) {
  double rmax = 0.0, anorm = 0.0, xmax = 0.0;
  for (int i = 0; i < n; ++i) {
    double r = -b[i], row = 0.0;
    for (int j = 0; j < n; ++j) {
      r += a[i + (size_t)j * n] * x[j];
      row += fabs(a[i + (size_t)j * n]);
    }
    if (fabs(r) > rmax) rmax = fabs(r);
    if (row > anorm) anorm = row;
    if (fabs(x[i]) > xmax) xmax = fabs(x[i]);
  }
  return rmax / (anorm * xmax);
}

static void report(const char* how, int info, double seconds, int n, const double* a, const double* x,
                   const double* b) {
  printf("  %-40s info = %d   residual = %.2e   time = %7.3f s\n", how, info, scaled_residual(n, a, x, b),
         seconds);
}

int main(int argc, char** argv) {
  const int32_t n = argc > 1 ? atoi(argv[1]) : 600;
  if (n < 1) {
    fprintf(stderr, "usage: dense_solve [n >= 1]\n");
    return 2;
  }
  const size_t nn = (size_t)n * (size_t)n;
  double* a = malloc(nn * sizeof *a);
  double* f = malloc(nn * sizeof *f);
  double* b = malloc((size_t)n * sizeof *b);
  double* x = malloc((size_t)n * sizeof *x);
  int32_t* piv = malloc((size_t)n * sizeof *piv);
  if (!a || !f || !b || !x || !piv) {
    fprintf(stderr, "out of memory\n");
    return 1;
  }
  srand(12345);
  for (size_t k = 0; k < nn; ++k) a[k] = (double)rand() / RAND_MAX - 0.5;
  for (int32_t i = 0; i < n; ++i) b[i] = (double)rand() / RAND_MAX - 0.5;
  printf("Dense system of order %d with a random matrix\n", (int)n);

  /* 1. By address: every argument is a pointer. */
  memcpy(f, a, nn * sizeof *a);
  memcpy(x, b, (size_t)n * sizeof *b);
  int32_t one = 1, info = -1;
  double t0 = now();
  Lapack_DGESV(&n, &one, f, &n, piv, x, &n, &info);
  report("Lapack_DGESV (by address)", info, now() - t0, n, a, x, b);

  /* 2. Value convention: integers by value, INFO returned. */
  memcpy(f, a, nn * sizeof *a);
  memcpy(x, b, (size_t)n * sizeof *b);
  t0 = now();
  info = CLapack_DGETRF(n, n, f, n, piv);
  if (info == 0) info = CLapack_DGETRS("N", n, 1, f, n, piv, x, n);
  report("CLapack_DGETRF + CLapack_DGETRS (value)", info, now() - t0, n, a, x, b);

  /* 3. The classic column-oriented pair. */
  memcpy(f, a, nn * sizeof *a);
  memcpy(x, b, (size_t)n * sizeof *b);
  int32_t job = 0;
  t0 = now();
  Linpack_DGEFA(f, &n, &n, piv, &info);
  if (info == 0) Linpack_DGESL(f, &n, &n, piv, x, &job);
  report("Linpack_DGEFA + Linpack_DGESL", info, now() - t0, n, a, x, b);

  free(a);
  free(f);
  free(b);
  free(x);
  free(piv);
  return 0;
}
