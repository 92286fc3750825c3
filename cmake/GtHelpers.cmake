# Helpers shared by every folder: libraries built from their folders' sources,
# one test program per test folder, fuzz targets that also replay their corpus.

# gt_library(NAME DIRS dir... [DEPS target...])
# Sources are globbed so that adding a module needs no CMake change.
function(gt_library name)
  cmake_parse_arguments(A "" "" "DIRS;DEPS;PRIVATE_DEPS" ${ARGN})
  set(_srcs)
  foreach(d IN LISTS A_DIRS)
    file(GLOB_RECURSE _s CONFIGURE_DEPENDS
      ${CMAKE_SOURCE_DIR}/${d}/*.cpp ${CMAKE_SOURCE_DIR}/${d}/*.c ${CMAKE_SOURCE_DIR}/${d}/*.h)
    list(APPEND _srcs ${_s})
  endforeach()
  list(FILTER _srcs INCLUDE REGEX "\\.(c|cpp)$")
  if(NOT _srcs)
    # A folder group with no modules yet: still a target others can link.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${A_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS})
endfunction()

# gt_test_folder(DIR LABEL DEPS...)
# Every folder under tests/ that holds .cpp files becomes one GoogleTest program,
# named after its path (tests/platform/base -> test_platform_base).
function(gt_test_folder dir label)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  file(RELATIVE_PATH _rel ${CMAKE_SOURCE_DIR}/tests ${dir})
  string(REPLACE "/" "_" _name "test_${_rel}")
  add_executable(${_name} ${_srcs})
  target_link_libraries(${_name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${_name} PRIVATE
    GT_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
    GT_TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  gtest_discover_tests(${_name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${label}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;GT_TEST_DATA_DIR=${CMAKE_SOURCE_DIR}/tests/data")
endfunction()

# gt_fuzz_target(NAME SOURCE DEPS...)
# With GT_FUZZ the target is a libFuzzer binary; otherwise it is linked to a
# replay driver and ctest runs it over its seed corpus in fuzz/corpus/NAME.
function(gt_fuzz_target name src)
  add_executable(fuzz_${name} ${src})
  target_link_libraries(fuzz_${name} PRIVATE ${ARGN})
  if(GT_FUZZ)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(fuzz_${name} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
    if(BUILD_TESTING)
      add_test(NAME fuzz_replay_${name}
        COMMAND fuzz_${name} ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name})
      set_tests_properties(fuzz_replay_${name} PROPERTIES LABELS fuzz)
    endif()
  endif()
endfunction()
