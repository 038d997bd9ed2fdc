# The reference BLAS, LAPACK and MINPACK, linked statically from the
# distribution's reference packages.  They are taken by path on purpose: the
# generic names (and find_package(BLAS)) may point at a tuned BLAS through the
# alternatives system, and results must come from the reference code.
set(TBL_MULTIARCH_DIR "/usr/lib/x86_64-linux-gnu" CACHE PATH "Distribution library directory")
find_file(TBL_REF_LAPACK liblapack.a PATHS ${TBL_MULTIARCH_DIR}/lapack NO_DEFAULT_PATH REQUIRED)
find_file(TBL_REF_BLAS libblas.a PATHS ${TBL_MULTIARCH_DIR}/blas NO_DEFAULT_PATH REQUIRED)
find_file(TBL_MINPACK libminpack.a PATHS ${TBL_MULTIARCH_DIR} NO_DEFAULT_PATH REQUIRED)

find_library(TBL_GFORTRAN NAMES gfortran libgfortran.so.5 REQUIRED
  HINTS ${CMAKE_Fortran_IMPLICIT_LINK_DIRECTORIES})

add_library(tbl_reference_numerics INTERFACE)
target_link_libraries(tbl_reference_numerics INTERFACE
  ${TBL_MINPACK} ${TBL_REF_LAPACK} ${TBL_REF_BLAS} ${TBL_GFORTRAN} m)
add_library(tbl::reference_numerics ALIAS tbl_reference_numerics)
