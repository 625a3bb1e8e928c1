# vantorix_write_licences(OUT LF|CRLF HEADING FILE [HEADING FILE]...): writes OUT, the
# licence file that ships with the programs: the project's own MIT licence,
# then each piece of others' work that the shipped files contain, its heading
# and its licence text (a FILE that is missing on this machine is named
# instead, with a warning), with the given line ends. Rewritten only when its
# text changes.
function(vantorix_write_licences out newline)
  file(READ "${CMAKE_SOURCE_DIR}/LICENSE" own)
  set(index "")
  set(texts "")
  set(rule "================================================================================")
  set(parts ${ARGN})
  while(parts)
    list(POP_FRONT parts heading path)
    string(APPEND index " - ${heading}\n")
    if(EXISTS "${path}")
      file(READ "${path}" text)
    else()
      message(WARNING "Licence text ${path} not found: the licence file only names it")
      set(text "See ${path} on the build machine.\n")
    endif()
    string(APPEND texts "\n${rule}\n${heading}\n${rule}\n\n${text}")
  endwhile()
  set(contents "Vantorix ${PROJECT_VERSION}\n\n"
    "The project's own code is under the MIT licence below. The shipped files also\n"
    "hold the work of others, each under its own licence, which follows in turn:\n"
    "${index}\n${rule}\nVantorix\n${rule}\n\n${own}${texts}")
  string(CONCAT contents ${contents})
  if(newline STREQUAL CRLF)
    string(REPLACE "\r\n" "\n" contents "${contents}")
    string(REPLACE "\n" "\r\n" contents "${contents}")
  endif()
  file(WRITE "${out}.new" "${contents}")
  configure_file("${out}.new" "${out}" COPYONLY)
endfunction()
