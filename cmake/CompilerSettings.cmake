# One interface target carries the compiler settings of our own code; every
# library, program and test links it. Qt's headers come in as system headers,
# so the strict warnings apply to what we write only.
add_library(corvantis_settings INTERFACE)
target_compile_options(corvantis_settings INTERFACE -Wall -Wextra -Wpedantic -Werror)
target_compile_definitions(corvantis_settings INTERFACE
  QT_NO_KEYWORDS QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING
  QT_USE_QSTRINGBUILDER)

if(CORVANTIS_SANITIZE)
  target_compile_options(corvantis_settings INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(corvantis_settings INTERFACE -fsanitize=address,undefined)
endif()

# Adds a Qt Test program under tests/ and registers it with ctest.
function(corvantis_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} corvantis_test_support Qt6::Test corvantis_settings)
  add_test(NAME ${name} COMMAND ${name})
  # A scan that renders pages starts corvantis-render (where CORVANTIS_RENDER says).
  add_dependencies(${name} corvantis-render)
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.*.debug=false;CORVANTIS_RENDER=$<TARGET_FILE:corvantis-render>"
    TIMEOUT 300)
endfunction()
