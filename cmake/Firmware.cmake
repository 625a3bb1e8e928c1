# The board's firmware: vantorix_Pico_V<x.yy>.uf2 (RP2040) and
# vantorix_Pico2_V<x.yy>.uf2 (RP2350), built by firmware/ with the ARM
# toolchain and the Raspberry Pi Pico SDK into <build>/firmware/. Without the
# toolchain the rest of the project builds and the firmware is skipped.
option(VANTORIX_FIRMWARE "Build the board's firmware (needs arm-none-eabi-gcc)" ON)
if(NOT VANTORIX_FIRMWARE)
  return()
endif()
find_program(VANTORIX_ARM_GCC arm-none-eabi-gcc)
if(NOT VANTORIX_ARM_GCC)
  message(STATUS "Firmware skipped: no arm-none-eabi-gcc (Debian: gcc-arm-none-eabi "
    "libnewlib-arm-none-eabi libstdc++-arm-none-eabi-newlib)")
  return()
endif()
include(ExternalProject)

# The SDK and picotool: PICO_SDK_PATH when set, else the copies beside the
# checkout, else the SDK fetches them itself (a machine with internet).
set(VANTORIX_SDK_ROOT "")
foreach(candidate "${CMAKE_SOURCE_DIR}/../shared/sdk" "${CMAKE_SOURCE_DIR}/../../shared/sdk" "/work/shared/sdk")
  if(NOT VANTORIX_SDK_ROOT AND EXISTS "${candidate}/pico-sdk/pico_sdk_init.cmake")
    get_filename_component(VANTORIX_SDK_ROOT "${candidate}" ABSOLUTE)
  endif()
endforeach()
if(NOT PICO_SDK_PATH AND DEFINED ENV{PICO_SDK_PATH})
  set(PICO_SDK_PATH "$ENV{PICO_SDK_PATH}")
endif()
if(NOT PICO_SDK_PATH AND VANTORIX_SDK_ROOT)
  set(PICO_SDK_PATH "${VANTORIX_SDK_ROOT}/pico-sdk")
endif()

set(firmware_args -DVANTORIX_GENERATED_DIR=${VANTORIX_GENERATED_DIR} -DCMAKE_BUILD_TYPE=Release)
if(PICO_SDK_PATH)
  list(APPEND firmware_args -DPICO_SDK_PATH=${PICO_SDK_PATH})
endif()
set(firmware_depends vantorix_embedded)
set(picotool_source "")
if(VANTORIX_SDK_ROOT AND EXISTS "${VANTORIX_SDK_ROOT}/picotool/CMakeLists.txt")
  set(picotool_source "${VANTORIX_SDK_ROOT}/picotool")
endif()
if(picotool_source AND PICO_SDK_PATH)
  set(picotool_install "${CMAKE_BINARY_DIR}/picotool-install")
  ExternalProject_Add(vantorix_picotool
    SOURCE_DIR "${picotool_source}"
    BINARY_DIR "${CMAKE_BINARY_DIR}/picotool-build"
    CMAKE_ARGS -DPICO_SDK_PATH=${PICO_SDK_PATH} -DCMAKE_INSTALL_PREFIX=${picotool_install}
      -DPICOTOOL_FLAT_INSTALL=1 -DCMAKE_BUILD_TYPE=Release
    BUILD_BYPRODUCTS "${picotool_install}/picotool/picotool"
    UPDATE_COMMAND "" LOG_CONFIGURE 1 LOG_BUILD 1 LOG_INSTALL 1)
  list(APPEND firmware_args -Dpicotool_DIR=${picotool_install}/picotool)
  list(APPEND firmware_depends vantorix_picotool)
  set(VANTORIX_PICOTOOL "${picotool_install}/picotool/picotool")
endif()

file(STRINGS "${CMAKE_SOURCE_DIR}/firmware/VERSION" VANTORIX_FIRMWARE_VERSION LIMIT_COUNT 1)
set(VANTORIX_FIRMWARE_DIR "${CMAKE_BINARY_DIR}/firmware")
set(VANTORIX_FIRMWARE_FILES "")
foreach(board pico pico2)
  if(board STREQUAL pico)
    set(image vantorix_Pico_V${VANTORIX_FIRMWARE_VERSION})
  else()
    set(image vantorix_Pico2_V${VANTORIX_FIRMWARE_VERSION})
  endif()
  ExternalProject_Add(vantorix_firmware_${board}
    SOURCE_DIR "${CMAKE_SOURCE_DIR}/firmware"
    BINARY_DIR "${CMAKE_BINARY_DIR}/firmware-${board}"
    CMAKE_ARGS ${firmware_args} -DPICO_BOARD=${board}
    BUILD_ALWAYS 1
    BUILD_BYPRODUCTS "${VANTORIX_FIRMWARE_DIR}/${image}.uf2"
    INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different
      "${CMAKE_BINARY_DIR}/firmware-${board}/${image}.uf2" "${VANTORIX_FIRMWARE_DIR}/${image}.uf2"
    DEPENDS ${firmware_depends}
    UPDATE_COMMAND "" LOG_CONFIGURE 1 LOG_OUTPUT_ON_FAILURE 1)
  list(APPEND VANTORIX_FIRMWARE_FILES "${VANTORIX_FIRMWARE_DIR}/${image}.uf2")
endforeach()
message(STATUS "Firmware: ${VANTORIX_FIRMWARE_FILES}")
