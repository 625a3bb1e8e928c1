# Turns data files into C include files with incbake at build time.
# Each file <name>.<ext> becomes ${VANTORIX_GENERATED_DIR}/<name>.h holding
# `unsigned char <name>[<name>_LEN]`; the headers never enter the source tree.
set(VANTORIX_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
file(MAKE_DIRECTORY "${VANTORIX_GENERATED_DIR}")

function(vantorix_embed out_var)
  set(headers)
  foreach(data_file IN LISTS ARGN)
    get_filename_component(name "${data_file}" NAME)
    get_filename_component(stem "${data_file}" NAME_WLE)
    set(copy "${VANTORIX_GENERATED_DIR}/${name}")
    set(header "${VANTORIX_GENERATED_DIR}/${stem}.h")
    add_custom_command(
      OUTPUT "${header}"
      COMMAND ${CMAKE_COMMAND} -E copy "${data_file}" "${copy}"
      COMMAND "${VANTORIX_INCBAKE}" "${name}" > "${stem}.log"
      WORKING_DIRECTORY "${VANTORIX_GENERATED_DIR}"
      DEPENDS "${data_file}" ${VANTORIX_INCBAKE}
      COMMENT "incbake ${name}"
      VERBATIM)
    list(APPEND headers "${header}")
  endforeach()
  set(${out_var} ${headers} PARENT_SCOPE)
endfunction()
