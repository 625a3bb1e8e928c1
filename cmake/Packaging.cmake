# What an install holds and how it is packed: on Linux the programs, their
# shared data, man pages and a udev rule (cpack -G DEB); for Windows, from the
# cross build, one folder that runs as it is (cpack -G ZIP).
#
# VANTORIX_FIRMWARE_FILES names the board firmware images to ship
# (vantorix_Pico_V*.uf2, vantorix_Pico2_V*.uf2). Without a firmware build it is
# empty and the packages carry none.
include(GNUInstallDirs)
set(VANTORIX_FIRMWARE_FILES "" CACHE STRING "Firmware UF2 files the packages ship (a list; may be empty)")
set(VANTORIX_PACKAGING_DIR "${CMAKE_SOURCE_DIR}/packaging")

set(CPACK_PACKAGE_NAME vantorix)
set(CPACK_PACKAGE_VENDOR "Vantorix")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Vantorix developers <vantorix@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "simulator and board link for small TFT display modules")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX packages)
# Others' work that every package holds: the fonts inside the programs, and
# the Pico SDK and TinyUSB inside the firmware images.
include(cmake/Licences.cmake)
set(VANTORIX_SHARED_LICENCES
  "The bitmap fonts from 20 pixels up: drawn from DejaVu Sans (Bitstream Vera licence)"
  "${CMAKE_SOURCE_DIR}/data/fonts/LICENSE-DejaVu.txt"
  "The bitmap fonts up to 16 pixels: drawn from the VGA console fonts of console-setup"
  "${CMAKE_SOURCE_DIR}/data/fonts/LICENSE-consolefonts.txt"
)
if(VANTORIX_FIRMWARE_FILES)
  list(APPEND VANTORIX_SHARED_LICENCES
    "The Raspberry Pi Pico SDK in the firmware images (BSD-3-Clause)"
    "${VANTORIX_PACKAGING_DIR}/licences/pico-sdk.txt"
    "TinyUSB in the firmware images (MIT)" "${VANTORIX_PACKAGING_DIR}/licences/tinyusb.txt")
endif()

if(WIN32)
  include(cmake/PackagingWindows.cmake)
else()
  include(cmake/PackagingLinux.cmake)
endif()

include(CPack)
