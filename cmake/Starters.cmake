# The starter module files: one per model and orientation, each drawing a
# small welcome screen that names its file, written into <build>/starter at
# configure time. An install copies them into place only where the user has
# no file of that name (app/starters.h).

# Model name, panel width and height at 0 degrees (the model table's).
set(VANTORIX_STARTER_MODELS KP096:80:160 KP150:240:240 KP200:240:320 KP280:240:320
  KP350:320:480 KP240:240:320)
set(VANTORIX_STARTER_DIR "${CMAKE_BINARY_DIR}/starter")

# vantorix_starter_text(OUT NAME WIDTH HEIGHT ANGLE): the file's text for a
# panel of WIDTH x HEIGHT (in this orientation).
function(vantorix_starter_text out name width height angle)
  # Small panels get the small fonts.
  set(shorter ${width})
  if(height LESS width)
    set(shorter ${height})
  endif()
  if(shorter LESS 160)
    set(title_font 16)
    set(body_font 8)
    set(advance 10)
  elseif(shorter LESS 320)
    set(title_font 24)
    set(body_font 16)
    set(advance 18)
  else()
    set(title_font 32)
    set(body_font 20)
    set(advance 24)
  endif()
  math(EXPR right "${width} - 1")
  math(EXPR bottom "${height} - 1")
  math(EXPR band "${title_font} + 7")
  math(EXPR body "${band} + 8")
  math(EXPR stripe "${height} - 6")
  set(file "${name}_${angle}.txt")
  # Eleven characters of the small font fill the narrowest panel.
  if(width LESS 120)
    set(lines "${name}" "at ${angle}\\xB0" "${width} x ${height}" "Edit" "${name}_" "${angle}.txt")
  else()
    set(lines "${name} at ${angle}\\xB0" "${width} x ${height}" "Edit" "${file}")
  endif()
  list(TRANSFORM lines PREPEND "#TL \"")
  list(TRANSFORM lines APPEND "\"\n")
  string(CONCAT text
    "; ${file}: the module file of the ZR ${name} at ${angle} degrees.\n"
    "; Vantorix runs it when this module is shown and again whenever it is\n"
    "; saved: edit it to design the screen, one command per line.\n"
    "#DF 0,0,40  ; dark blue background\n"
    "#FA 255,128,0, 0,0, ${right},${band}  ; orange band\n"
    "#TC 0,0,0, 255,128,0\n"
    "#TF ${title_font},1,1\n"
    "#TP 4,4,\"Vantorix\"\n"
    "#TC 255,255,255, 0,0,40\n"
    "#TF ${body_font},1,1\n"
    "#TS 4,${body},${advance}\n"
    ${lines}
    "#FA 0,200,80, 0,${stripe}, ${right},${bottom}  ; green stripe\n")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(VANTORIX_STARTER_FILES "")
foreach(model IN LISTS VANTORIX_STARTER_MODELS)
  string(REPLACE ":" ";" fields "${model}")
  list(GET fields 0 name)
  list(GET fields 1 width)
  list(GET fields 2 height)
  foreach(angle 0 90 180 270)
    if(angle EQUAL 90 OR angle EQUAL 270)
      vantorix_starter_text(text ${name} ${height} ${width} ${angle})
    else()
      vantorix_starter_text(text ${name} ${width} ${height} ${angle})
    endif()
    set(path "${VANTORIX_STARTER_DIR}/${name}_${angle}.txt")
    file(CONFIGURE OUTPUT "${path}" CONTENT "${text}" @ONLY)
    list(APPEND VANTORIX_STARTER_FILES "${path}")
  endforeach()
endforeach()
