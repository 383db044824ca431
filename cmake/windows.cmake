# Settings of a Windows build (see cmake/mingw-w64-x86_64.cmake), made before
# any target exists.

# Every program lands in the top of the build folder, wherever its target is
# defined: build-windows/queuecalc.exe, binomdist.exe and the others.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}")

if(MINGW)
  # GCC for 64-bit Windows keeps the stack aligned to 16 bytes only, but may
  # spill AVX and AVX-512 registers to it with aligned moves, which fault at
  # an address that is not a multiple of 32 or 64. The assembler encodes every
  # aligned vector move as the unaligned one instead: the same data moved, at
  # the same speed when the address happens to be aligned, and no fault when
  # it is not. (Debian's MinGW compiler already emits unaligned moves; this
  # makes the build sound with any other.)
  include(CheckCXXCompilerFlag)
  check_cxx_compiler_flag(-Wa,-muse-unaligned-vector-move QUEUECALC_HAS_UNALIGNED_VECTOR_MOVE)
  if(NOT QUEUECALC_HAS_UNALIGNED_VECTOR_MOVE)
    message(FATAL_ERROR "The assembler lacks -muse-unaligned-vector-move (GNU binutils 2.38 or later): "
                        "without it the AVX kernels could fault on Windows.")
  endif()
  add_compile_options(-Wa,-muse-unaligned-vector-move)
endif()
