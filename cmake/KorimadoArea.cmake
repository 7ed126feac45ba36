# Each program folder under src/ is an "area". Its sources go to korimado_core (engines: QtCore,
# ICU and the standard library only) or korimado_ui (widgets, WebEngine, DBus). An area names its
# default library and lists, by base name, the files that belong to the other one; names of files
# that do not exist yet are ignored, so a folder can list what it will hold.
set(KORIMADO_CORE_SOURCES "" CACHE INTERNAL "")
set(KORIMADO_UI_SOURCES "" CACHE INTERNAL "")

function(korimado_area)
  cmake_parse_arguments(A "" "DEFAULT" "OTHER" ${ARGN})
  file(GLOB files CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  set(core "")
  set(ui "")
  foreach(f IN LISTS files)
    get_filename_component(base "${f}" NAME_WE)
    list(FIND A_OTHER "${base}" other)
    if((A_DEFAULT STREQUAL "core" AND other EQUAL -1) OR (A_DEFAULT STREQUAL "ui" AND NOT other EQUAL -1))
      list(APPEND core "${f}")
    else()
      list(APPEND ui "${f}")
    endif()
  endforeach()
  set(KORIMADO_CORE_SOURCES ${KORIMADO_CORE_SOURCES} ${core} CACHE INTERNAL "")
  set(KORIMADO_UI_SOURCES ${KORIMADO_UI_SOURCES} ${ui} CACHE INTERNAL "")
endfunction()

function(korimado_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(KORIMADO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
