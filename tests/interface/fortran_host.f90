! A Fortran host of the library: it declares the entry points it calls with
! BIND(C), passes every hidden length explicitly as a by-value size_t, and
! stops with a non-zero status on the first wrong answer.
module tbl_entry_points
  use, intrinsic :: iso_c_binding
  implicit none
  interface
    subroutine lapack_dgesv(n, nrhs, a, lda, ipiv, b, ldb, info) bind(c, name='Lapack_DGESV')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: n, nrhs, lda, ldb
      real(c_double), intent(inout) :: a(lda, *), b(ldb, *)
      integer(c_int32_t), intent(out) :: ipiv(*), info
    end subroutine
    subroutine lapack_dgetrs(trans, n, nrhs, a, lda, ipiv, b, ldb, info) bind(c, name='Lapack_DGETRS')
      import :: c_int32_t, c_double, c_char
      character(kind=c_char), intent(in) :: trans
      integer(c_int32_t), intent(in) :: n, nrhs, lda, ldb, ipiv(*)
      real(c_double), intent(in) :: a(lda, *)
      real(c_double), intent(inout) :: b(ldb, *)
      integer(c_int32_t), intent(out) :: info
    end subroutine
    integer(c_int32_t) function clapack_dgetrf(m, n, a, lda, ipiv) bind(c, name='CLapack_DGETRF')
      import :: c_int32_t, c_double
      integer(c_int32_t), value :: m, n, lda
      real(c_double), intent(inout) :: a(lda, *)
      integer(c_int32_t), intent(out) :: ipiv(*)
    end function
    subroutine dpotrf(uplo, n, a, lda, info, uplo_len) bind(c, name='DPOTRF')
      import :: c_int32_t, c_double, c_char, c_size_t
      character(kind=c_char), intent(in) :: uplo
      integer(c_int32_t), intent(in) :: n, lda
      real(c_double), intent(inout) :: a(lda, *)
      integer(c_int32_t), intent(out) :: info
      integer(c_size_t), value :: uplo_len
    end subroutine
    subroutine dsyev(jobz, uplo, n, a, lda, w, work, lwork, info, jobz_len, uplo_len) bind(c, name='DSYEV')
      import :: c_int32_t, c_double, c_char, c_size_t
      character(kind=c_char), intent(in) :: jobz, uplo
      integer(c_int32_t), intent(in) :: n, lda, lwork
      real(c_double), intent(inout) :: a(lda, *)
      real(c_double), intent(out) :: w(*), work(*)
      integer(c_int32_t), intent(out) :: info
      integer(c_size_t), value :: jobz_len, uplo_len
    end subroutine
    subroutine blas_dgemm(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc) &
        bind(c, name='BLAS_DGEMM')
      import :: c_int32_t, c_double, c_char
      character(kind=c_char), intent(in) :: transa, transb
      integer(c_int32_t), intent(in) :: m, n, k, lda, ldb, ldc
      real(c_double), intent(in) :: alpha, beta, a(lda, *), b(ldb, *)
      real(c_double), intent(inout) :: c(ldc, *)
    end subroutine
    subroutine linpack_dgefa(a, lda, n, ipvt, info) bind(c, name='Linpack_DGEFA')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: lda, n
      real(c_double), intent(inout) :: a(lda, *)
      integer(c_int32_t), intent(out) :: ipvt(*), info
    end subroutine
    subroutine linpack_dgesl(a, lda, n, ipvt, b, job) bind(c, name='Linpack_DGESL')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: lda, n, ipvt(*), job
      real(c_double), intent(in) :: a(lda, *)
      real(c_double), intent(inout) :: b(*)
    end subroutine
    integer(c_int32_t) function clinpack_dgefa(a, lda, n, ipvt) bind(c, name='CLinpack_DGEFA')
      import :: c_int32_t, c_double
      integer(c_int32_t), value :: lda, n
      real(c_double), intent(inout) :: a(lda, *)
      integer(c_int32_t), intent(out) :: ipvt(*)
    end function
    real(c_double) function lmder_enorm(n, x) bind(c, name='Lmder_ENORM')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: n
      real(c_double), intent(in) :: x(*)
    end function
    real(c_double) function dpmpar(i) bind(c, name='DPMPAR')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: i
    end function
    real(c_double) function dlamch(cmach, cmach_len) bind(c, name='DLAMCH')
      import :: c_double, c_char, c_size_t
      character(kind=c_char), intent(in) :: cmach
      integer(c_size_t), value :: cmach_len
    end function
    subroutine vml_vdexp(n, a, r) bind(c, name='VML_vdExp')
      import :: c_int32_t, c_double
      integer(c_int32_t), value :: n
      real(c_double), intent(in) :: a(*)
      real(c_double), intent(out) :: r(*)
    end subroutine
    subroutine vml_vdinv(n, a, r) bind(c, name='VML_vdInv')
      import :: c_int32_t, c_double
      integer(c_int32_t), value :: n
      real(c_double), intent(in) :: a(*)
      real(c_double), intent(out) :: r(*)
    end subroutine
    subroutine viz_ffopen(name, len, iunit) bind(c, name='_Z10VIZ_FFOPENPKciPi')
      import :: c_int, c_char
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int), value :: len
      integer(c_int), intent(inout) :: iunit
    end subroutine
    subroutine viz_ffclose(iunit) bind(c, name='_Z11VIZ_FFCLOSEPi')
      import :: c_int
      integer(c_int), intent(inout) :: iunit
    end subroutine
    subroutine ve17ad(n, m, meq, h, lh, g, a, la, b, x, u, iact, nact, tol, w, lw, inform) bind(c, name='VE17AD')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: n, m, meq, lh, la, lw
      real(c_double), intent(in) :: h(lh, *), g(*), a(la, *), b(*), tol
      real(c_double), intent(out) :: x(*), u(*), w(*)
      integer(c_int32_t), intent(out) :: iact(*), nact, inform
    end subroutine
    subroutine viz_nb01ad(ind, a, b, eps, x, y, limit) bind(c, name='VIZ_NB01AD')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(inout) :: ind
      real(c_double), intent(in) :: a, b, eps
      real(c_double), intent(inout) :: x, y
      integer(c_int32_t), intent(in) :: limit
    end subroutine
    subroutine vur_optbqa(n, x, xl, xu, scale, meq, min, f, ceq, cin, npt, rhobeg, rhoend, maxfun, ftarget, &
        pen, pengrow, penmax, maxrst, rhorst, ctol, cwt, iptype, xbest, fbest, cviol, pbest, rho, nfev, nrst, &
        iprint, iout, itrace, info, w, lw, trace, trace_len) bind(c, name='VUR_OPTBQA')
      import :: c_int32_t, c_double, c_char, c_size_t
      integer(c_int32_t), intent(in) :: n, meq, min, npt, maxfun, maxrst, iptype, iprint, iout, itrace, lw
      real(c_double), intent(inout) :: x(*), pen, w(*)
      real(c_double), intent(in) :: xl(*), xu(*), scale(*), f, ceq(*), cin(*), rhobeg, rhoend, ftarget, &
                                    pengrow, penmax, rhorst, ctol, cwt(*)
      real(c_double), intent(out) :: xbest(*), fbest, cviol, pbest, rho
      integer(c_int32_t), intent(out) :: nfev, nrst
      integer(c_int32_t), intent(inout) :: info
      character(kind=c_char), intent(in) :: trace(*)
      integer(c_size_t), value :: trace_len
    end subroutine
    subroutine di23id(icntl, cntl, cntld, icntlm, cntlm) bind(c, name='DI23ID')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(out) :: icntl(20), icntlm(20)
      real(c_double), intent(out) :: cntl(20), cntld(5), cntlm(5)
    end subroutine
    subroutine di23ad(m, n, ne, irn, jcn, x, f, d, icntl, cntl, cntld, icntlm, cntlm, iw, liw, w, lw, aj, xt, &
                      ireq, ft, info, rinfo, nfev, njev, niter, fnorm) bind(c, name='DI23AD')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: m, n, ne, irn(*), jcn(*), icntl(20), icntlm(20), liw, lw
      real(c_double), intent(inout) :: x(*), f(*), d(*), w(*), aj(*), xt(*), ft(*)
      real(c_double), intent(in) :: cntl(20), cntld(5), cntlm(5)
      integer(c_int32_t), intent(inout) :: iw(*), ireq
      integer(c_int32_t), intent(out) :: info(20), nfev, njev, niter
      real(c_double), intent(out) :: rinfo(20), fnorm
    end subroutine
    subroutine vf13ad(n, m, meq, x, f, g, c, cn, lcn, acc, maxfun, iprint, inform, w, lw, iw) bind(c, name='VF13AD')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: n, m, meq, lcn, maxfun, iprint, lw
      real(c_double), intent(inout) :: x(*), f, g(*), c(*), cn(lcn, *), w(*)
      real(c_double), intent(in) :: acc
      integer(c_int32_t), intent(inout) :: inform, iw(*)
    end subroutine
    subroutine viz_vf13ad(n, m, meq, x, f, g, c, cn, lcn, acc, maxfun, iprint, inform, w, lw, iw) &
        bind(c, name='VIZ_VF13AD')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: n, m, meq, lcn, maxfun, iprint, lw
      real(c_double), intent(inout) :: x(*), f, g(*), c(*), cn(lcn, *), w(*)
      real(c_double), intent(in) :: acc
      integer(c_int32_t), intent(inout) :: inform, iw(*)
    end subroutine
    subroutine viz_za38id(keep, cntl, icntl) bind(c, name='VIZ_ZA38ID')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(inout) :: keep(20)
      real(c_double), intent(out) :: cntl(10)
      integer(c_int32_t), intent(out) :: icntl(20)
    end subroutine
    subroutine viz_za38ad(n, ne, job, transa, lvalue, lindex, value, index, keep, cntl, icntl, &
                          info, rinfo) bind(c, name='VIZ_ZA38AD')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: n, ne, job, transa, lvalue, lindex, icntl(20)
      real(c_double), intent(inout) :: value(lvalue)
      integer(c_int32_t), intent(inout) :: index(lindex), keep(20)
      real(c_double), intent(in) :: cntl(10)
      integer(c_int32_t), intent(inout) :: info(40)
      real(c_double), intent(inout) :: rinfo(20)
    end subroutine
    subroutine viz_za38bd(n, ne, job, transa, lvalue, lindex, value, index, keep, cntl, icntl, &
                          info, rinfo) bind(c, name='VIZ_ZA38BD')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: n, ne, job, transa, lvalue, lindex, icntl(20)
      real(c_double), intent(inout) :: value(lvalue)
      integer(c_int32_t), intent(inout) :: index(lindex), keep(20)
      real(c_double), intent(in) :: cntl(10)
      integer(c_int32_t), intent(inout) :: info(40)
      real(c_double), intent(inout) :: rinfo(20)
    end subroutine
    subroutine viz_za38cd(n, job, transc, lvalue, lindex, value, index, keep, b, x, w, cntl, icntl, &
                          info, rinfo) bind(c, name='VIZ_ZA38CD')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: n, job, transc, lvalue, lindex, index(lindex), keep(20), icntl(20)
      real(c_double), intent(in) :: value(lvalue), b(n), cntl(10)
      real(c_double), intent(out) :: x(n), w(*)
      integer(c_int32_t), intent(inout) :: info(40)
      real(c_double), intent(inout) :: rinfo(20)
    end subroutine
  end interface
end module

program fortran_host
  use tbl_entry_points
  use tbl_host_support
  implicit none
  integer(c_size_t), parameter :: one_char = 1_c_size_t
  real(c_double) :: a(3, 3), f(3, 3), b(3, 1), x(3), c(3, 3), w(3), work(20), s(2, 2), v(4), r(4)
  integer(c_int32_t) :: ipiv(3), info, n3, n1, unit, ind
  real(c_double) :: root, froot
  integer(c_int32_t) :: icntl(20), icntlm(20), iw(300), ireq, inf(20), nfev, njev, niter
  real(c_double) :: cntl(20), cntld(5), cntlm(5), wk(200), xr(2), fr(2), dr(2), ajr(3), xtr(2), ftr(2), rinf(20), fnorm
  integer(c_int) :: vunit
  character(len=32) :: name
  logical :: there
  real(c_double) :: dx(2), dxl(2), dxu(2), dscale(2), df, dceq(1), dcin(1), dpen, dxbest(2), dfbest, &
                    dcviol, dpbest, drho, dwork(200), dcwt(1)
  integer(c_int32_t) :: dnfev, dnrst, dinfo
  character(len=24) :: base
  real(c_double) :: qh(2, 2), qa(2, 3), qx(2), qu(3), qw(30)
  integer(c_int32_t) :: qiact(3), nact
  real(c_double) :: sx(2), sf, sg(2), sc(2), scn(2, 2), sw(102)
  integer(c_int32_t) :: siw(8), evaluations
  integer(c_int32_t) :: zkeep(20), zicntl(20), zinfo(40), zindex(200), zk
  real(c_double) :: zcntl(10), zrinfo(20), zvalue(200), zx(3), zw(12)

  n3 = 3
  n1 = 1
  a = reshape([4d0, 1d0, 2d0, 1d0, 5d0, 1d0, 2d0, 1d0, 6d0], [3, 3])  ! symmetric, diagonally dominant
  x = [1d0, -2d0, 3d0]
  b(:, 1) = matmul(a, x)

  f = a
  call lapack_dgesv(n3, n1, f, n3, ipiv, b, n3, info)
  call check(info == 0 .and. maxval(abs(b(:, 1) - x)) < 1d-14, 'Lapack_DGESV solves A x = b')
  b(:, 1) = matmul(transpose(a), x)
  call lapack_dgetrs('T', n3, n1, f, n3, ipiv, b, n3, info)
  call check(info == 0 .and. maxval(abs(b(:, 1) - x)) < 1d-14, 'Lapack_DGETRS transposed')

  s = reshape([1d0, 2d0, 2d0, 4d0], [2, 2])
  call check(clapack_dgetrf(2, 2, s, 2, ipiv) == 2 .and. ipiv(1) == 2 .and. ipiv(2) == 2, &
             'CLapack_DGETRF reports the zero pivot')

  f = a
  call dpotrf('l', n3, f, n3, info, one_char)
  call check(info == 0 .and. abs(f(1, 1) - 2d0) < 1d-15, 'DPOTRF with its hidden length')

  f = a
  call dsyev('N', 'U', n3, f, n3, w, work, 20_c_int32_t, info, one_char, one_char)
  call check(info == 0 .and. abs(sum(w) - 15d0) < 1d-13 .and. w(1) <= w(2) .and. w(2) <= w(3), &
             'DSYEV with two hidden lengths')

  c = 0d0
  call blas_dgemm('N', 'N', n3, n3, n3, 1d0, a, n3, a, n3, 0d0, c, n3)
  call check(maxval(abs(c - matmul(a, a))) < 1d-13, 'BLAS_DGEMM')

  f = a
  call linpack_dgefa(f, n3, n3, ipiv, info)
  x = matmul(a, [1d0, 1d0, 1d0])
  call linpack_dgesl(f, n3, n3, ipiv, x, 0_c_int32_t)
  call check(info == 0 .and. maxval(abs(x - 1d0)) < 1d-14, 'Linpack_DGEFA and Linpack_DGESL')
  f = a
  call check(clinpack_dgefa(f, 3, 3, ipiv) == 0, 'CLinpack_DGEFA')

  x = [3d0, 4d0, 12d0]
  call check(abs(lmder_enorm(n3, x) - 13d0) < 1d-14, 'Lmder_ENORM')
  call check(abs(dpmpar(1_c_int32_t) - epsilon(1d0)) < 1d-25, 'DPMPAR')

  call check(transfer(dlamch('E', one_char), 0_c_int64_t) == int(z'3CA0000000000000', c_int64_t), &
             'DLAMCH relative machine precision')
  call check(transfer(dlamch('o', one_char), 0_c_int64_t) == int(z'7FEFFFFFFFFFFFFB', c_int64_t), &
             'DLAMCH overflow threshold')

  v = [0d0, 1d0, -1d0, 2d0]
  call vml_vdexp(4, v, r)
  call check(r(1) == 1d0 .and. abs(r(2) - exp(1d0)) < 1d-15, 'VML_vdExp')
  r = 7d0
  call vml_vdinv(0, v, r)
  call check(all(r == 7d0), 'VML_vdInv with N = 0')

  ! The length passed is the name's: trailing blanks of a fixed-length
  ! buffer are not part of it.
  name = 'fortran_host_ffopen.txt'
  unit = 44
  call ffopen(name, unit, int(len(name), c_size_t))
  call ffclose(unit)
  inquire(file='fortran_host_ffopen.txt', exist=there)
  call check(there, 'FFOPEN creates the named file')

  vunit = 45
  call viz_ffopen('fortran_host_viz.txtIGNORED', 20, vunit)
  call viz_ffclose(vunit)
  inquire(file='fortran_host_viz.txt', exist=there)
  call check(there, 'VIZ_FFOPEN takes LEN characters of the name')
  inquire(file='fortran_host_viz.txtIGNORED', exist=there)
  call check(.not. there, 'VIZ_FFOPEN ignores what follows LEN')

  ! min 0.5 |x|^2 - x2 subject to x1 + x2 >= 2, x1 >= 0, x2 <= 10:
  ! x = (0.5, 1.5) with the multiplier 0.5 on the first constraint.
  qh = reshape([1d0, -99d0, 0d0, 1d0], [2, 2])  ! the lower triangle is not read
  qa = reshape([1d0, 1d0, 1d0, 0d0, 0d0, -1d0], [2, 3])
  call ve17ad(2, 3, 0, qh, 2, [0d0, -1d0], qa, 2, [2d0, 0d0, -10d0], qx, qu, qiact, nact, 0d0, qw, 30, info)
  call check(info == 0 .and. nact == 1 .and. qiact(1) == 1 .and. maxval(abs(qx - [0.5d0, 1.5d0])) < 1d-15 &
             .and. abs(qu(1) - 0.5d0) < 1d-15 .and. qu(2) == 0d0 .and. qu(3) == 0d0, 'VE17AD')

  ! The zero of x**2 - 2 in [0, 2] by reverse communication.
  ind = 1
  call viz_nb01ad(ind, 0d0, 2d0, 0d0, root, froot, 60_c_int32_t)
  do while (ind == 2)
    froot = root**2 - 2d0
    call viz_nb01ad(ind, 0d0, 2d0, 0d0, root, froot, 60_c_int32_t)
  end do
  call check(ind == 0 .and. abs(root - sqrt(2d0)) < 1d-15, 'VIZ_NB01AD finds the root')

  ! The optimiser by reverse communication, its trace file named from a
  ! blank-padded CHARACTER base name: x1 + x2 least on the unit circle.
  base = 'fortran_host_dfo'
  dx = [0.5d0, 0.5d0]
  dxl = -2d0
  dxu = 2d0
  dscale = 1d0
  dcwt = 1d0
  dpen = 0.1d0
  dinfo = 0
  do
    call vur_optbqa(2, dx, dxl, dxu, dscale, 1, 0, df, dceq, dcin, 5, 0.5d0, 1d-7, 5000, -1d300, dpen, 10d0, &
                    1d12, 8, 0.1d0, 1d-5, dcwt, 1, dxbest, dfbest, dcviol, dpbest, drho, dnfev, dnrst, 0, 6, 1, &
                    dinfo, dwork, 200, base, int(len(base), c_size_t))
    if (dinfo /= 1) exit
    df = dx(1) + dx(2)
    dceq(1) = dx(1)**2 + dx(2)**2 - 1d0
  end do
  call check(dinfo == 2 .and. dnrst >= 1 .and. abs(dfbest + sqrt(2d0)) < 1d-4 .and. dcviol <= 1d-5, &
             'VUR_OPTBQA solves a constrained problem through restarts')
  inquire(file='fortran_host_dfo.vorex', exist=there)
  call check(there, 'VUR_OPTBQA names its trace file from the base name without its trailing blanks')

  ! Rosenbrock's function as least squares, its Jacobian from the host.
  call di23id(icntl, cntl, cntld, icntlm, cntlm)
  icntl(5) = 1
  xr = [-1.2d0, 1d0]
  ireq = 0
  do
    call di23ad(2, 2, 3, [1, 1, 2], [1, 2, 1], xr, fr, dr, icntl, cntl, cntld, icntlm, cntlm, iw, 300, wk, 200, &
                ajr, xtr, ireq, ftr, inf, rinf, nfev, njev, niter, fnorm)
    if (ireq == 1) then
      ftr = [10d0 * (xtr(2) - xtr(1)**2), 1d0 - xtr(1)]
    else if (ireq == 2) then
      ajr = [-20d0 * xtr(1), 10d0, -1d0]
    else
      exit
    end if
  end do
  call check(ireq == 3 .and. maxval(abs(xr - 1d0)) < 1d-10 .and. njev > 0, 'DI23AD minimises Rosenbrock')

  ! min (x1-2)^2 + (x2-1)^2 subject to x1 - 2 x2 + 1 = 0 and
  ! 1 - x1^2/4 - x2^2 >= 0, from the infeasible point (2, 2), by reverse
  ! communication; then the second name of the entry point.
  sx = [2d0, 2d0]
  info = 0
  evaluations = 0
  do
    call vf13ad(2, 2, 1, sx, sf, sg, sc, scn, 2, 1d-10, 50, -1, info, sw, 102, siw)
    if (info /= -1) exit
    evaluations = evaluations + 1
    sf = (sx(1) - 2d0)**2 + (sx(2) - 1d0)**2
    sg = [2d0 * (sx(1) - 2d0), 2d0 * (sx(2) - 1d0)]
    sc = [sx(1) - 2d0 * sx(2) + 1d0, 1d0 - sx(1)**2 / 4d0 - sx(2)**2]
    scn(:, 1) = [1d0, -2d0]
    scn(:, 2) = [-sx(1) / 2d0, -2d0 * sx(2)]
  end do
  call check(info == 0 .and. evaluations < 20 .and. abs(sf - (9d0 - 2.875d0 * sqrt(7d0))) < 1d-9 .and. &
             abs(sx(1) - 0.5d0 * (sqrt(7d0) - 1d0)) < 1d-8, 'VF13AD')
  info = 0
  call viz_vf13ad(2, 2, 1, sx, sf, sg, sc, scn, 2, 1d-10, 50, -1, info, sw, 101, siw)
  call check(info == 5 .and. siw(1) == 102, 'VIZ_VF13AD')

  ! The multifrontal LU's phases on A above (entries in INDEX and VALUE, the
  ! copy kept by JOB = 1 for refinement): A x = b, A' x = b, then 2 A
  ! refactorised on the same pivot order.
  call viz_za38id(zkeep, zcntl, zicntl)
  zicntl(8) = 2
  do zk = 1, 2
    zindex(1:18) = [1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3]
    zvalue(1:9) = zk * reshape(a, [9])
    if (zk == 1) then
      call viz_za38ad(3, 9, 1, 0, 200, 200, zvalue, zindex, zkeep, zcntl, zicntl, zinfo, zrinfo)
    else
      call viz_za38bd(3, 9, 1, 0, 200, 200, zvalue, zindex, zkeep, zcntl, zicntl, zinfo, zrinfo)
    end if
    call check(zinfo(1) == 0, 'VIZ_ZA38AD and VIZ_ZA38BD factorise')
    call viz_za38cd(3, 0, 0, 200, 200, zvalue, zindex, zkeep, zk * matmul(a, x), zx, zw, zcntl, zicntl, &
                    zinfo, zrinfo)
    call check(zinfo(1) == 0 .and. maxval(abs(zx - x)) < 1d-14, 'VIZ_ZA38CD solves A x = b')
  end do
  zx = 0
  call viz_za38cd(3, 0, 1, 200, 200, zvalue, zindex, zkeep, 2 * matmul(transpose(a), x), zx, zw, zcntl, &
                  zicntl, zinfo, zrinfo)
  call check(zinfo(1) == 0 .and. maxval(abs(zx - x)) < 1d-14, "VIZ_ZA38CD solves A' x = b")

  print '(a)', 'fortran host: all checks passed'

end program
