# The release archive of a Windows build: cmake --build build-windows --target package
# makes build-windows/queuecalc-windows-x86_64.zip with the programs, the
# typical example, the day's forecast, the browser page where it was built and
# a README.txt for double-click use.

install(TARGETS queuecalc_app binomdist queuecalc_sweep queuecalc_plan RUNTIME DESTINATION .)
install(FILES examples/typical/INPUT.DAT examples/typical/BINOMDIST.DAT DESTINATION examples/typical)
install(FILES examples/day/forecast.csv DESTINATION examples/day)
# The browser page, where it was built before this build was configured
# (scripts/build-web.sh build-web); the archive is complete without it.
if(EXISTS "${QUEUECALC_WEB_PAGE}")
  install(FILES "${QUEUECALC_WEB_PAGE}" DESTINATION .)
endif()

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
