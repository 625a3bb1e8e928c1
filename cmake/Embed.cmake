# Turns data files into C include files with incbake at build time.
# Each file <name>.<ext> becomes ${VANTORIX_GENERATED_DIR}/<name>.h holding
# `unsigned char <name>[<name>_LEN]`; the headers never enter the source tree.
#
# This file is also the build step itself (cmake -P): it copies the data file
# next to where the header goes, runs incbake there with its chatter captured,
# and shows that chatter only when incbake fails. incbake's input is the null
# device, so its "press a key" prompt can never stall a build.
if(CMAKE_SCRIPT_MODE_FILE)
  file(COPY_FILE "${EMBED_DATA}" "${EMBED_DIR}/${EMBED_NAME}" ONLY_IF_DIFFERENT)
  if(CMAKE_HOST_WIN32)
    set(null_device NUL)
  else()
    set(null_device /dev/null)
  endif()
  execute_process(
    COMMAND "${EMBED_INCBAKE}" "${EMBED_NAME}"
    WORKING_DIRECTORY "${EMBED_DIR}"
    INPUT_FILE "${null_device}"
    OUTPUT_VARIABLE incbake_output
    ERROR_VARIABLE incbake_output
    RESULT_VARIABLE incbake_result)
  if(NOT incbake_result EQUAL 0)
    message(FATAL_ERROR "incbake failed on ${EMBED_NAME} (${incbake_result}):\n${incbake_output}")
  endif()
  return()
endif()

set(VANTORIX_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
file(MAKE_DIRECTORY "${VANTORIX_GENERATED_DIR}")
set(VANTORIX_EMBED_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")

function(vantorix_embed out_var)
  # A native build names the target, so incbake is built first and the headers
  # are made again whenever incbake changes; a cross build gets a finished file.
  if(TARGET incbake AND NOT CMAKE_CROSSCOMPILING)
    set(incbake_dependency incbake)
  else()
    set(incbake_dependency "${VANTORIX_INCBAKE}")
  endif()
  set(headers)
  set(stems)
  foreach(data_file IN LISTS ARGN)
    get_filename_component(name "${data_file}" NAME)
    get_filename_component(stem "${data_file}" NAME_WLE)
    if(stem IN_LIST stems)
      message(FATAL_ERROR "Two data files would both become ${stem}.h: rename ${data_file}")
    endif()
    list(APPEND stems "${stem}")
    set(header "${VANTORIX_GENERATED_DIR}/${stem}.h")
    add_custom_command(
      OUTPUT "${header}"
      BYPRODUCTS "${VANTORIX_GENERATED_DIR}/${name}"
      COMMAND "${CMAKE_COMMAND}"
        "-DEMBED_INCBAKE=${VANTORIX_INCBAKE}"
        "-DEMBED_DATA=${data_file}"
        "-DEMBED_NAME=${name}"
        "-DEMBED_DIR=${VANTORIX_GENERATED_DIR}"
        -P "${VANTORIX_EMBED_SCRIPT}"
      DEPENDS "${data_file}" ${incbake_dependency} "${VANTORIX_EMBED_SCRIPT}"
      COMMENT "incbake ${name}"
      VERBATIM)
    list(APPEND headers "${header}")
  endforeach()
  set(${out_var} ${headers} PARENT_SCOPE)
endfunction()
