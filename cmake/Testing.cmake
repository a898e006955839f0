# Test harness. Windows test programs run under Wine through the
# cross-compiling emulator; a CTest fixture keeps one wineserver alive for
# the whole run so each program starts in a fraction of a second.
enable_testing()

if(WIN32)
  set(KESTA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE
                 @ONLY)
  set(KESTA_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTA_WINE_RUN})
endif()

# kesta_add_test(NAME SOURCES... [LIBS ...] [ARGS ...] [WIN32_ONLY])
# One test program, one CTest entry; its cases are GoogleTest cases.
function(kesta_add_test name)
  cmake_parse_arguments(T "WIN32_ONLY" "" "SOURCES;LIBS;ARGS;PROPERTIES" ${ARGN})
  if(T_WIN32_ONLY AND NOT WIN32)
    return()
  endif()
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE kesta_test_support ${T_LIBS})
  kesta_add_test_entry(${name} ${name} ${T_ARGS})
  if(T_PROPERTIES)
    set_tests_properties(${name} PROPERTIES ${T_PROPERTIES})
  endif()
endfunction()

# kesta_add_test_entry(NAME PROGRAM [ARGS...])
# A CTest entry that runs a test program with its own arguments (a filter, or
# switches a scenario needs). GoogleTest shuffles the cases of every run and
# prints the seed, so an order dependence shows up; --gtest_random_seed=N
# replays a failing order.
function(kesta_add_test_entry name program)
  add_test(NAME ${name} COMMAND ${program} ${ARGN})
  # The longest program takes well under a minute: a hang fails the run
  # instead of holding it for CTest's default 25 minutes.
  set_tests_properties(${name} PROPERTIES ENVIRONMENT GTEST_SHUFFLE=1 TIMEOUT 300)
  if(WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endfunction()
