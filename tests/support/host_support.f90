! What the Fortran host programs of the tests share: the entry points that
! attach files to output units, declared as a host declares them (the hidden
! length of the name passed explicitly, by value), and the check that stops
! a host with a non-zero status on the first wrong answer.
module tbl_host_support
  use, intrinsic :: iso_c_binding
  implicit none
  interface
    subroutine ffopen(name, iunit, name_len) bind(c, name='FFOPEN')
      import :: c_int32_t, c_char, c_size_t
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int32_t), intent(in) :: iunit
      integer(c_size_t), value :: name_len
    end subroutine
    subroutine ffclose(iunit) bind(c, name='FFCLOSE')
      import :: c_int32_t
      integer(c_int32_t), intent(in) :: iunit
    end subroutine
  end interface

contains

  subroutine check(ok, what)
    logical, intent(in) :: ok
    character(len=*), intent(in) :: what
    if (.not. ok) then
      print '(2a)', 'FAILED: ', what
      error stop 1
    end if
  end subroutine

end module
