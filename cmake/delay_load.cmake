# zelko_link_delay_loaded(target dll...): links `target` against the system DLLs named (without
# ".dll") so that each is bound on its first call, not when the program starts. A DLL bound at
# start is searched in the program's own folder first, and on Wine even user32 and gdi32 pull in
# DLLs (version.dll) that are not known DLLs; bound later, after the search is restricted to
# System32 (win/system_library.h), they and everything they load come from System32.
function(zelko_link_delay_loaded target)
  if(MSVC)
    foreach(dll IN LISTS ARGN)
      target_link_libraries(${target} PRIVATE ${dll})
      target_link_options(${target} PRIVATE /DELAYLOAD:${dll}.dll)
    endforeach()
    target_link_libraries(${target} PRIVATE delayimp)
    return()
  endif()
  if(NOT MINGW)
    message(FATAL_ERROR "zelko_link_delay_loaded: no delay loading for this toolchain")
  endif()
  if(NOT CMAKE_DLLTOOL OR NOT CMAKE_NM)
    message(FATAL_ERROR "zelko_link_delay_loaded: dlltool and nm of the mingw-w64 toolchain are needed")
  endif()
  set(folder ${CMAKE_BINARY_DIR}/delay-load)
  foreach(dll IN LISTS ARGN)
    # The delay-load library takes its export list from the toolchain's own import library.
    execute_process(
      COMMAND ${CMAKE_C_COMPILER} -print-file-name=lib${dll}.a
      OUTPUT_VARIABLE import_lib OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT EXISTS "${import_lib}")
      message(FATAL_ERROR "zelko_link_delay_loaded: no import library lib${dll}.a")
    endif()
    set(delay_lib ${folder}/lib${dll}_delay.a)
    add_custom_command(
      OUTPUT ${delay_lib}
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${CMAKE_DLLTOOL}
              -DIMPORT_LIB=${import_lib} -DDLL=${dll} -DOUT=${delay_lib}
              -P ${CMAKE_SOURCE_DIR}/cmake/make_delay_lib.cmake
      DEPENDS ${import_lib} ${CMAKE_SOURCE_DIR}/cmake/make_delay_lib.cmake
      COMMENT "Making the delay-load library of ${dll}.dll"
      VERBATIM)
    add_custom_target(${target}_delay_${dll} DEPENDS ${delay_lib})
    add_dependencies(${target} ${target}_delay_${dll})
    # Linked after the target's own libraries and before the toolchain's import libraries,
    # so these definitions are the ones the linker takes.
    target_link_libraries(${target} PRIVATE ${delay_lib})
  endforeach()
endfunction()
