# Shared by the generators' CMakeLists, after their project(): the settings a
# generator takes when regenerate.sh builds it on its own (inside the main
# project it has them already), and cairo for those that draw with it.
if(CMAKE_SOURCE_DIR STREQUAL CMAKE_CURRENT_SOURCE_DIR)
  set(CMAKE_CXX_STANDARD 20)
  set(CMAKE_CXX_STANDARD_REQUIRED ON)
  if(NOT CMAKE_BUILD_TYPE)
    set(CMAKE_BUILD_TYPE Release)
  endif()
  add_compile_options(-Wall -Wextra -Werror)
endif()

# Sets CAIRO_FOUND and the target PkgConfig::CAIRO where cairo's development files are.
macro(vantorix_find_cairo)
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(CAIRO IMPORTED_TARGET cairo)
  endif()
endmacro()
