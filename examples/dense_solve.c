/*
 * A C host solving one dense linear system three ways through the library's
 * entry points:
 *   1. by address, as a Fortran caller would: Lapack_DGESV;
 *   2. by value, with INFO as the result: CLapack_DGETRF and CLapack_DGETRS;
 *   3. the classic pair: Linpack_DGEFA and Linpack_DGESL.
 * The right-hand side is made from a known solution.  For each way it prints
 * the scaled residual ||A x - b|| / (||A|| ||x||), the error estimate (that
 * residual times an estimate of the condition number of A), the actual error
 * ||x - x_true|| / ||x_true|| and the time.  All norms are infinity norms.
 * It exits with status 1 when a way fails: INFO not 0, or a scaled residual
 * above n times the relative precision (a backward stable solve leaves a few
 * units of it; a wrong answer leaves far more).
 *
 *   dense_solve [n]      (default n = 600)
 */
#define _POSIX_C_SOURCE 199309L /* clock_gettime under a strict -std=c11 */
#include <float.h>
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

static double norm_inf(int n, const double* x) {
  double m = 0.0;
  for (int i = 0; i < n; ++i)
    if (fabs(x[i]) > m) m = fabs(x[i]);
  return m;
}

/* ||A||_inf of a column-major matrix. */
static double matrix_norm_inf(int n, const double* a) {
  double m = 0.0;
  for (int i = 0; i < n; ++i) {
    double row = 0.0;
    for (int j = 0; j < n; ++j) row += fabs(a[i + (size_t)j * n]);
    if (row > m) m = row;
  }
  return m;
}

/* ||A x - b|| / (||A|| ||x||). */
static double scaled_residual(int n, const double* a, const double* x, const double* b) {
  double rmax = 0.0;
  for (int i = 0; i < n; ++i) {
    double r = -b[i];
    for (int j = 0; j < n; ++j) r += a[i + (size_t)j * n] * x[j];
    if (fabs(r) > rmax) rmax = fabs(r);
  }
  return rmax / (matrix_norm_inf(n, a) * norm_inf(n, x));
}

/* An estimate of ||A^-1||_inf = ||A^-T||_1 by Hager's 1-norm power method:
 * each step is one solve with A' and one with A through the LU factors that
 * CLapack_DGETRF left in f and piv.  x and y are work vectors of length n. */
static double inverse_norm_estimate(int32_t n, double* f, int32_t* piv, double* x, double* y) {
  double est = 0.0;
  for (int32_t i = 0; i < n; ++i) x[i] = 1.0 / n;
  for (int step = 0; step < 5; ++step) {
    memcpy(y, x, (size_t)n * sizeof *x);
    CLapack_DGETRS("T", n, 1, f, n, piv, y, n); /* y = A^-T x */
    double norm1 = 0.0;
    for (int32_t i = 0; i < n; ++i) norm1 += fabs(y[i]);
    if (step > 0 && norm1 <= est) break;
    est = norm1;
    for (int32_t i = 0; i < n; ++i) y[i] = y[i] >= 0.0 ? 1.0 : -1.0;
    CLapack_DGETRS("N", n, 1, f, n, piv, y, n); /* z = A^-1 sign(y) */
    int32_t j = 0;
    double zx = 0.0;
    for (int32_t i = 0; i < n; ++i) {
      if (fabs(y[i]) > fabs(y[j])) j = i;
      zx += y[i] * x[i];
    }
    if (fabs(y[j]) <= zx) break; /* no column promises a larger norm */
    memset(x, 0, (size_t)n * sizeof *x);
    x[j] = 1.0;
  }
  return est;
}

/* Prints one way's line; returns 1 when that way solved the system. */
static int report(const char* how, int info, double seconds, int n, const double* a, const double* x,
                  const double* b, const double* x_true, double condition) {
  double err = 0.0;
  for (int i = 0; i < n; ++i)
    if (fabs(x[i] - x_true[i]) > err) err = fabs(x[i] - x_true[i]);
  const double residual = scaled_residual(n, a, x, b);
  printf("  %-40s info = %d   residual = %.2e   error estimate = %.2e   error = %.2e   time = %7.3f s\n", how,
         info, residual, condition * residual, err / norm_inf(n, x_true), seconds);
  return info == 0 && residual <= n * DBL_EPSILON;
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
  double* x_true = malloc((size_t)n * sizeof *x_true);
  double* work = malloc((size_t)n * sizeof *work);
  int32_t* piv = malloc((size_t)n * sizeof *piv);
  if (!a || !f || !b || !x || !x_true || !work || !piv) {
    fprintf(stderr, "out of memory\n");
    return 1;
  }
  srand(12345);
  for (size_t k = 0; k < nn; ++k) a[k] = (double)rand() / RAND_MAX - 0.5;
  for (int32_t i = 0; i < n; ++i) x_true[i] = 1.0 + (double)i / n;
  for (int32_t i = 0; i < n; ++i) {
    b[i] = 0.0;
    for (int32_t j = 0; j < n; ++j) b[i] += a[i + (size_t)j * n] * x_true[j];
  }
  printf("Dense system of order %d with a random matrix\n", (int)n);

  /* The condition number that turns each residual into an error estimate. */
  memcpy(f, a, nn * sizeof *a);
  double condition = 0.0;
  if (CLapack_DGETRF(n, n, f, n, piv) == 0)
    condition = matrix_norm_inf(n, a) * inverse_norm_estimate(n, f, piv, x, work);
  printf("  condition number estimate %.2e\n", condition);

  /* 1. By address: every argument is a pointer. */
  memcpy(f, a, nn * sizeof *a);
  memcpy(x, b, (size_t)n * sizeof *b);
  int32_t one = 1, info = -1;
  double t0 = now();
  Lapack_DGESV(&n, &one, f, &n, piv, x, &n, &info);
  int solved = report("Lapack_DGESV (by address)", info, now() - t0, n, a, x, b, x_true, condition);

  /* 2. Value convention: integers by value, INFO returned. */
  memcpy(f, a, nn * sizeof *a);
  memcpy(x, b, (size_t)n * sizeof *b);
  t0 = now();
  info = CLapack_DGETRF(n, n, f, n, piv);
  if (info == 0) info = CLapack_DGETRS("N", n, 1, f, n, piv, x, n);
  solved &= report("CLapack_DGETRF + CLapack_DGETRS (value)", info, now() - t0, n, a, x, b, x_true, condition);

  /* 3. The classic column-oriented pair. */
  memcpy(f, a, nn * sizeof *a);
  memcpy(x, b, (size_t)n * sizeof *b);
  int32_t job = 0;
  t0 = now();
  Linpack_DGEFA(f, &n, &n, piv, &info);
  if (info == 0) Linpack_DGESL(f, &n, &n, piv, x, &job);
  solved &= report("Linpack_DGEFA + Linpack_DGESL", info, now() - t0, n, a, x, b, x_true, condition);

  free(a);
  free(f);
  free(b);
  free(x);
  free(x_true);
  free(work);
  free(piv);
  return solved ? 0 : 1;
}
