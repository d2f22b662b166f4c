# corvantis_install_man_page(<page> [DEPENDS <target>...]): installs the man page
# <page> (a path, named NAME.SECTION: written by hand or made by the build) gzipped
# into share/man/manSECTION/. gzip -n keeps the file's name and time out, so the
# package comes out the same from the same sources. A page the build makes names
# the target that makes it after DEPENDS.
function(corvantis_install_man_page page)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  get_filename_component(name ${page} NAME)
  string(REGEX MATCH "[^.]+$" section ${name})
  set(gz ${PROJECT_BINARY_DIR}/man/gz/${name}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man/gz
    COMMAND ${CMAKE_COMMAND} -E copy ${page} ${PROJECT_BINARY_DIR}/man/gz/${name}
    COMMAND gzip -n -9 -f ${PROJECT_BINARY_DIR}/man/gz/${name}
    DEPENDS ${page} ${ARG_DEPENDS}
    COMMENT "Compressing the man page ${name}" VERBATIM)
  string(MAKE_C_IDENTIFIER "man_${name}" target)
  add_custom_target(${target} ALL DEPENDS ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
