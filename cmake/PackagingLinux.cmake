# Linux install: the programs to bin; the starter module files and the firmware
# files to share/vantorix, which the runner finds as ../share/vantorix beside
# itself (so the install can live under any prefix); man pages; the udev rule
# that gives the logged-in user the board; and the Debian package's extras.
set(VANTORIX_DATA_DESTINATION "${CMAKE_INSTALL_DATADIR}/vantorix")
set(VANTORIX_DOC_DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/vantorix")
set(VANTORIX_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
  "Where the udev rule goes (relative to the prefix, or absolute)")

install(TARGETS vantorix-cli vantorix-board incbake RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES ${VANTORIX_STARTER_FILES} DESTINATION "${VANTORIX_DATA_DESTINATION}/starter")
add_test(NAME Starters.RunWithoutFindings COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/check-starters.sh"
  $<TARGET_FILE:vantorix-cli> "${VANTORIX_STARTER_DIR}")
if(VANTORIX_FIRMWARE_FILES)
  install(FILES ${VANTORIX_FIRMWARE_FILES} DESTINATION "${VANTORIX_DATA_DESTINATION}")
endif()
install(FILES "${VANTORIX_PACKAGING_DIR}/udev/70-vantorix.rules"
  DESTINATION "${VANTORIX_UDEV_RULES_DIR}")
file(GLOB VANTORIX_EXAMPLES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/examples/*.txt")
install(FILES ${VANTORIX_EXAMPLES} DESTINATION "${VANTORIX_DOC_DESTINATION}/examples")

# The licence file, as Debian's copyright file: the runner and the board
# simulator carry CLI11; the fonts are in every program; the firmware images
# carry the Pico SDK and TinyUSB.
set(licence_parts ${VANTORIX_SHARED_LICENCES}
  "CLI11, the command-line parser in vantorix-cli and vantorix-board (BSD-3-Clause)"
  "/usr/share/doc/libcli11-dev/copyright")
vantorix_write_licences("${CMAKE_BINARY_DIR}/packaging/copyright" LF ${licence_parts})
install(FILES "${CMAKE_BINARY_DIR}/packaging/copyright" DESTINATION "${VANTORIX_DOC_DESTINATION}")

# Man pages: made by help2man from the programs' own --help, so the two never
# drift apart; incbake's usage is not behind --help, so its page is written by
# hand. Debian wants them compressed without a time stamp.
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
set(VANTORIX_MAN_PAGES "")
function(vantorix_gzip_man page source)
  set(packed "${CMAKE_BINARY_DIR}/man/${page}.gz")
  add_custom_command(OUTPUT "${packed}"
    COMMAND "${GZIP}" -9nc "${source}" > "${packed}"
    DEPENDS "${source}" VERBATIM)
  set(VANTORIX_MAN_PAGES ${VANTORIX_MAN_PAGES} "${packed}" PARENT_SCOPE)
endfunction()
if(HELP2MAN AND GZIP)
  set(name_vantorix-cli "run display-module command files on an emulated TFT panel and a Pico board")
  set(name_vantorix-board "play a Pico board with the display-module firmware on a pseudo-terminal")
  foreach(program vantorix-cli vantorix-board)
    set(page "${CMAKE_BINARY_DIR}/man/${program}.1")
    set(extra "${VANTORIX_PACKAGING_DIR}/man/${program}.h2m")
    add_custom_command(OUTPUT "${page}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/man"
      COMMAND "${HELP2MAN}" --no-info --section=1 "--name=${name_${program}}"
        "--include=${extra}" "--output=${page}" "$<TARGET_FILE:${program}>"
      DEPENDS ${program} "${extra}" VERBATIM)
    vantorix_gzip_man(${program}.1 "${page}")
  endforeach()
  vantorix_gzip_man(incbake.1 "${VANTORIX_PACKAGING_DIR}/man/incbake.1")
  add_custom_target(vantorix_man_pages ALL DEPENDS ${VANTORIX_MAN_PAGES})
  install(FILES ${VANTORIX_MAN_PAGES} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  add_test(NAME ManPages.FormatWithoutWarnings
    COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/check-man-pages.sh" ${VANTORIX_MAN_PAGES})
else()
  message(STATUS "help2man or gzip not found: no man pages")
endif()

# The Debian package (cpack -G DEB): its dependencies read from the binaries,
# a native changelog, and a postinst that applies the udev rule to boards
# already plugged in, where udev runs.
string(TIMESTAMP VANTORIX_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file("${VANTORIX_PACKAGING_DIR}/debian/changelog.in"
  "${CMAKE_BINARY_DIR}/packaging/changelog" @ONLY)
add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/packaging/changelog.gz"
  COMMAND "${GZIP}" -9nc "${CMAKE_BINARY_DIR}/packaging/changelog"
    > "${CMAKE_BINARY_DIR}/packaging/changelog.gz"
  DEPENDS "${CMAKE_BINARY_DIR}/packaging/changelog" VERBATIM)
add_custom_target(vantorix_changelog ALL DEPENDS "${CMAKE_BINARY_DIR}/packaging/changelog.gz")
install(FILES "${CMAKE_BINARY_DIR}/packaging/changelog.gz" DESTINATION "${VANTORIX_DOC_DESTINATION}")

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${VANTORIX_PACKAGING_DIR}/debian/postinst")
file(READ "${VANTORIX_PACKAGING_DIR}/debian/description" CPACK_DEBIAN_PACKAGE_DESCRIPTION)
string(STRIP "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}" CPACK_DEBIAN_PACKAGE_DESCRIPTION)
