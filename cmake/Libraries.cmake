# corvantis_add_library(<target> <sources>...): a static library of the folder it
# is declared in. Those who link it include its headers by the folder's path below
# src/ ("page/url_rules.h"), and only theirs: each library gets an include root of
# its own in the build tree, holding a link to its folder, instead of all of src/.
function(corvantis_add_library target)
  add_library(${target} STATIC ${ARGN})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
