# zelko_unicode_entry(target...): each program starts at wWinMain or wmain, the UTF-16 entry
# points. mingw-w64 links the C runtime's start-up code that calls them only with -municode;
# MSVC's linker picks it by itself from the function the program defines.
function(zelko_unicode_entry)
  foreach(target IN LISTS ARGN)
    if(MINGW)
      target_link_options(${target} PRIVATE -municode)
    endif()
  endforeach()
endfunction()
