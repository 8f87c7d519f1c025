# Manual pages are written in scdoc's format (data/man/NAME.N.scd) and turned
# into roff at build time: mp_man_page(NAME.N) builds ${MP_MAN_DIR}/NAME.N as
# part of the target "man" (built by default). Without scdoc the pages are
# skipped with a warning.
find_program(SCDOC_EXECUTABLE scdoc)
set(MP_MAN_DIR ${PROJECT_BINARY_DIR}/man)
if(NOT TARGET man)
  add_custom_target(man ALL)
endif()

function(mp_man_page page)
  set(source ${PROJECT_SOURCE_DIR}/data/man/${page}.scd)
  set(output ${MP_MAN_DIR}/${page})
  if(NOT SCDOC_EXECUTABLE)
    message(WARNING "scdoc not found: the manual page ${page} is not built")
    return()
  endif()
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DSCDOC=${SCDOC_EXECUTABLE} -DINPUT=${source} -DOUTPUT=${output}
            -P ${PROJECT_SOURCE_DIR}/cmake/RunScdoc.cmake
    DEPENDS ${source} ${PROJECT_SOURCE_DIR}/cmake/RunScdoc.cmake
    COMMENT "Manual page ${page}"
    VERBATIM)
  string(MAKE_C_IDENTIFIER "man_${page}" target)
  add_custom_target(${target} DEPENDS ${output})
  add_dependencies(man ${target})
endfunction()
