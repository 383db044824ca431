# The release archive of a Windows build: cmake --build build-windows --target package
# makes build-windows/queuecalc-windows-x86_64.zip with the programs, the
# typical example and a README.txt for double-click use.

set(QUEUECALC_PACKAGED_PROGRAMS queuecalc_app binomdist)
# The sweep program joins the archive once it is part of the build.
foreach(program IN ITEMS queuecalc_sweep queuecalc-sweep)
  if(TARGET ${program})
    list(APPEND QUEUECALC_PACKAGED_PROGRAMS ${program})
  endif()
endforeach()
install(TARGETS ${QUEUECALC_PACKAGED_PROGRAMS} RUNTIME DESTINATION .)
install(FILES examples/typical/INPUT.DAT examples/typical/BINOMDIST.DAT DESTINATION examples/typical)

# README.txt with the CR LF line ends Notepad expects, whatever this
# checkout uses.
file(READ "${CMAKE_CURRENT_LIST_DIR}/windows-README.txt" QUEUECALC_README)
string(REPLACE "\r\n" "\n" QUEUECALC_README "${QUEUECALC_README}")
string(REPLACE "\n" "\r\n" QUEUECALC_README "${QUEUECALC_README}")
file(WRITE "${CMAKE_BINARY_DIR}/package/README.txt" "${QUEUECALC_README}")
install(FILES "${CMAKE_BINARY_DIR}/package/README.txt" DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME queuecalc)
set(CPACK_PACKAGE_FILE_NAME queuecalc-windows-x86_64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)  # symbols are of no use to a user
include(CPack)
