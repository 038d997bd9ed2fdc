! A Fortran host of the coordinate services: it calls MC59AD, MC49AD and
! MC09AD by reference through BIND(C), has MC59AD write its messages to a file
! it attached with FFOPEN, reads that file back with its own input/output and
! stops with a non-zero status on the first wrong answer.
module tbl_coord_entry_points
  use, intrinsic :: iso_c_binding
  implicit none
  interface
    subroutine mc59ad(icntl, nc, nr, ne, irn, ljcn, jcn, la, a, lip, ip, liw, iw, info) bind(c, name='MC59AD')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: icntl(6), nc, nr, ne, ljcn, la, lip, liw
      integer(c_int32_t), intent(inout) :: irn(*), jcn(*), ip(*), iw(*)
      real(c_double), intent(inout) :: a(*)
      integer(c_int32_t), intent(out) :: info(10)
    end subroutine
    subroutine viz_mc49ad(ind, nc, nr, nnz, irn, jcn, yesa, la, a, lip, ip, liw, iw, iflag) &
        bind(c, name='VIZ_MC49AD')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: ind, nc, nr, nnz, la, lip, liw
      ! The library's LOGICAL is a 32-bit word, gfortran's default LOGICAL.
      logical(4), intent(in) :: yesa
      integer(c_int32_t), intent(inout) :: irn(*), jcn(*), ip(*), iw(*)
      real(c_double), intent(inout) :: a(*)
      integer(c_int32_t), intent(out) :: iflag
    end subroutine
    subroutine mc09ad(m, n, a, x, y, trans, irn, ip) bind(c, name='MC09AD')
      import :: c_int32_t, c_double
      integer(c_int32_t), intent(in) :: m, n, irn(*), ip(*)
      real(c_double), intent(in) :: a(*), x(*)
      real(c_double), intent(inout) :: y(*)
      logical(4), intent(in) :: trans
    end subroutine
  end interface
end module

program coord_fortran_host
  use tbl_coord_entry_points
  use tbl_host_support
  implicit none
  character(len=*), parameter :: msgfile = 'mc59_messages.txt'
  integer(c_int32_t) :: icntl(6), info(10), irn(6), jcn(6), ip(4), iw(4), unit, iflag
  real(c_double) :: a(6), x(3), y(3)
  character(len=80) :: lines(10)
  integer :: nlines, ios, k, lens(10)

  ! Three entries of a 3 x 3 matrix: a duplicate of (2,1) and a column
  ! index outside the matrix, sorted with increasing rows per column.
  unit = 31
  call ffopen(msgfile, unit, int(len(msgfile), c_size_t))
  icntl = [0, 1, 0, unit, unit, 0]
  irn(1:4) = [2, 1, 2, 3]
  jcn(1:4) = [1, 1, 1, 4]
  a(1:4) = [1.5d0, 2d0, 0.25d0, 9d0]
  call mc59ad(icntl, 3, 3, 4, irn, 4, jcn, 4, a, 4, ip, 4, iw, info)
  call check(info(1) == 5 .and. info(3) == 1 .and. info(5) == 1 .and. info(6) == 2, 'MC59AD warning codes')
  call check(all(ip == [1, 3, 3, 3]) .and. all(irn(1:2) == [1, 2]), 'MC59AD column form')
  call check(a(1) == 2d0 .and. a(2) == 1.75d0, 'MC59AD sums the duplicate')

  ! An error: NE < 1 changes nothing.
  call mc59ad(icntl, 3, 3, 0, irn, 4, jcn, 4, a, 4, ip, 4, iw, info)
  call check(info(1) == -4 .and. info(2) == 0, 'MC59AD rejects NE = 0')
  call ffclose(unit)

  ! Read the records back with their exact lengths, trailing blanks included.
  open (newunit=k, file=msgfile, status='old', action='read')
  nlines = 0
  do while (nlines < size(lines))
    lines(nlines + 1) = ''
    read (k, '(a)', advance='no', size=lens(nlines + 1), iostat=ios) lines(nlines + 1)
    if (is_iostat_end(ios)) exit
    nlines = nlines + 1
  end do
  close (k)
  call check(nlines == 8, 'MC59AD wrote eight lines')
  call line_is(1, '')
  call line_is(2, ' *** Warning message from MC59AD *** INFO(1) =   5')
  call line_is(3, '        1 entries in JCN supplied by the user were ')
  call line_is(4, '       out of range and were ignored by the routine')
  call line_is(5, '        1 duplicate entries were supplied by the user')
  call line_is(6, '')
  call line_is(7, ' *** Error return from MC59AD *** INFO(1) =  -4')
  call line_is(8, ' NE =          0 is out of range')

  ! The LOGICAL arguments take Fortran's own .TRUE. and .FALSE.
  irn(1:3) = [3, 1, 2]
  jcn(1:3) = [2, 2, 1]
  a(1:3) = [3d0, 1d0, 2d0]
  call viz_mc49ad(2, 2, 3, 3, irn, jcn, .true._4, 3, a, 4, ip, 4, iw, iflag)
  call check(iflag == 0 .and. all(ip(1:3) == [1, 2, 4]) .and. all(irn(1:3) == [2, 1, 3]), 'VIZ_MC49AD')
  x = [1d0, 10d0, 100d0]
  y = 0d0
  call mc09ad(3, 2, a, x, y, .true._4, irn, ip)
  call check(y(1) == 20d0 .and. y(2) == 301d0, 'MC09AD transposed')
  y = 0d0
  call mc09ad(3, 2, a, x, y, .false._4, irn, ip)
  call check(all(y == [10d0, 2d0, 30d0]), 'MC09AD plain')

  print '(a)', 'coordinate fortran host: all checks passed'

contains

  subroutine line_is(i, text)
    integer, intent(in) :: i
    character(len=*), intent(in) :: text
    if (lens(i) /= len(text) .or. lines(i)(1:lens(i)) /= text) then
      print '(a,i0,4a)', 'FAILED: message line ', i, ' is "', lines(i)(1:lens(i)), '", not "', text // '"'
      error stop 1
    end if
  end subroutine

end program
