# The Windows zip (cpack -G ZIP, from the cross build): one folder that runs
# as it is. The program, its help, vantorix-send and incbake; the firmware
# files beside the program, where it looks for them; the starter module files
# in starter\, which the program copies beside itself at its first start where
# none exist; README.txt with the first steps; the licences.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME "vantorix-${PROJECT_VERSION}-win32")

install(TARGETS Vantorix vantorix-send incbake RUNTIME DESTINATION .)
if(TARGET vantorix_help)
  install(FILES "${CMAKE_BINARY_DIR}/src/win/Vantorix.chm" DESTINATION .)
endif()
if(VANTORIX_FIRMWARE_FILES)
  install(FILES ${VANTORIX_FIRMWARE_FILES} DESTINATION .)
  set(VANTORIX_FIRMWARE_NOTE "")
else()
  set(VANTORIX_FIRMWARE_NOTE
    "   (This zip was built without the firmware: it carries no firmware\n   files, so it offers no update.)\n")
endif()
install(FILES ${VANTORIX_STARTER_FILES} DESTINATION starter)
file(GLOB VANTORIX_EXAMPLES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/examples/*.txt")
install(FILES ${VANTORIX_EXAMPLES} DESTINATION examples)

configure_file("${VANTORIX_PACKAGING_DIR}/windows/README.txt.in"
  "${CMAKE_BINARY_DIR}/packaging/README.txt" @ONLY NEWLINE_STYLE CRLF)
install(FILES "${CMAKE_BINARY_DIR}/packaging/README.txt" DESTINATION .)

# Every program links the MinGW-w64 runtime, winpthreads, the GCC runtime and
# zlib statically; the fonts are in Vantorix.exe.
set(licence_parts ${VANTORIX_SHARED_LICENCES}
  "The MinGW-w64 runtime and winpthreads in the programs (ZPL-2.1, MIT and others)"
  "/usr/share/doc/mingw-w64-${CMAKE_SYSTEM_PROCESSOR}-dev/copyright"
  "zlib in the programs (zlib licence)" "/usr/share/doc/libz-mingw-w64/copyright"
  "The GCC runtime libraries in the programs (GPL-3 with the runtime library exception)"
  "${VANTORIX_PACKAGING_DIR}/licences/gcc-runtime.txt")
vantorix_write_licences("${CMAKE_BINARY_DIR}/packaging/LICENSE.txt" CRLF ${licence_parts})
install(FILES "${CMAKE_BINARY_DIR}/packaging/LICENSE.txt" DESTINATION .)
