# Helpers shared by every folder: libraries built from their folders' sources,
# one test program per test folder, fuzz targets that also replay their corpus.
# Paths are taken from GT_SOURCE_DIR (this tree's own folder), never from the
# top of whatever project includes it.

# Tests per ctest entry: a test program runs as a few shards instead of one
# process per test, so start-up (heavy under the sanitizers) is paid a few times
# while ctest still runs the shards in parallel.
set(GT_TESTS_PER_SHARD 25 CACHE STRING "GoogleTest cases per ctest entry")

# Optimisation of the test programs' own sources, after the build type's flags
# (the last -O wins). The code under test keeps the build type's level; the
# test files are mostly GoogleTest glue whose optimisation costs compile time
# and buys nothing, and the sanitizers instrument them at -O0 as well.
set(GT_TEST_OPTIMIZE "" CACHE STRING "Optimisation flag for test sources, e.g. -O1")

# Test files compiled in batches of this many per translation unit (0: one by
# one). Every test file parses the same GoogleTest and project headers, which
# is most of its compile time, so the full builds batch them; private builds
# leave it off so that editing one test file recompiles only that file.
# Batched files share a translation unit: file-local helpers live in a
# namespace named after their file so that two files never clash.
set(GT_UNITY_TESTS 0 CACHE STRING "Test sources per batched translation unit (0: off)")

# gt_library(NAME DIRS dir... [DEPS target...] [PRIVATE_DEPS target...])
# Sources are globbed so that adding a module needs no CMake change. The library
# is static, or shared when BUILD_SHARED_LIBS is on (the sanitizer preset, so
# that the test programs do not each carry a copy of everything).
function(gt_library name)
  cmake_parse_arguments(A "" "" "DIRS;DEPS;PRIVATE_DEPS" ${ARGN})
  set(_srcs)
  foreach(d IN LISTS A_DIRS)
    file(GLOB_RECURSE _s CONFIGURE_DEPENDS
      ${GT_SOURCE_DIR}/${d}/*.cpp ${GT_SOURCE_DIR}/${d}/*.c ${GT_SOURCE_DIR}/${d}/*.h)
    list(APPEND _srcs ${_s})
  endforeach()
  list(FILTER _srcs INCLUDE REGEX "\\.(c|cpp)$")
  if(NOT _srcs)
    # A folder group with no modules yet: still a target others can link.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${GT_SOURCE_DIR})
    target_compile_features(${name} INTERFACE cxx_std_20)
    target_link_libraries(${name} INTERFACE ${A_DEPS})
    return()
  endif()
  add_library(${name} ${_srcs})
  target_include_directories(${name} PUBLIC ${GT_SOURCE_DIR})
  # The public headers are C++20: whoever links the library compiles as C++20,
  # in this project or in one that includes it.
  target_compile_features(${name} PUBLIC cxx_std_20)
  target_link_libraries(${name} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS})
endfunction()

# gt_test_folder(DIR LABEL DEPS...)
# Every folder under tests/ that holds .cpp files becomes one GoogleTest program,
# named after its path (tests/platform/base -> test_platform_base), run by ctest
# as NAME/0 .. NAME/k-1 through GoogleTest's own sharding. A failing shard's
# output names the failed cases (GoogleTest's closing list) or, after a crash,
# the last "[ RUN      ]" line.
function(gt_test_folder dir label)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  file(RELATIVE_PATH _rel ${GT_SOURCE_DIR}/tests ${dir})
  string(REPLACE "/" "_" _name "test_${_rel}")
  add_executable(${_name} ${_srcs})
  target_link_libraries(${_name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock)
  if(GT_TEST_OPTIMIZE)
    target_compile_options(${_name} PRIVATE ${GT_TEST_OPTIMIZE})
  endif()
  if(GT_UNITY_TESTS GREATER 0)
    set_target_properties(${_name} PROPERTIES
      UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${GT_UNITY_TESTS})
    # A fixture in a file's unnamed namespace is still private to that file
    # once the file is batched; the compiler only warns because it is no longer
    # the main source file.
    target_compile_options(${_name} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wno-subobject-linkage>)
    # A file that replaces the global allocation functions keeps its own
    # translation unit: batched, its replacements would be inlined into the
    # other files' code and paired with the library's allocations.
    foreach(f IN LISTS _srcs)
      file(STRINGS ${f} _repl REGEX "^void\\* operator new\\(")
      if(_repl)
        set_source_files_properties(${f} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
      endif()
    endforeach()
  endif()
  target_compile_definitions(${_name} PRIVATE
    GT_TEST_DATA_DIR="${GT_SOURCE_DIR}/tests/data"
    GT_TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")

  # Count the cases roughly (parameterised ones count once) to size the shards.
  set(_cases 0)
  foreach(f IN LISTS _srcs)
    file(STRINGS ${f} _t REGEX "^[ \t]*(TEST|TEST_F|TEST_P|TYPED_TEST|TYPED_TEST_P)\\(")
    list(LENGTH _t _n)
    math(EXPR _cases "${_cases} + ${_n}")
  endforeach()
  math(EXPR _shards "(${_cases} + ${GT_TESTS_PER_SHARD} - 1) / ${GT_TESTS_PER_SHARD}")
  if(_shards LESS 1)
    set(_shards 1)
  endif()
  math(EXPR _last "${_shards} - 1")
  foreach(i RANGE ${_last})
    add_test(NAME ${_name}/${i} COMMAND ${_name})
    set_tests_properties(${_name}/${i} PROPERTIES
      LABELS ${label}
      ENVIRONMENT "GTEST_TOTAL_SHARDS=${_shards};GTEST_SHARD_INDEX=${i};QT_QPA_PLATFORM=offscreen;GT_TEST_DATA_DIR=${GT_SOURCE_DIR}/tests/data")
  endforeach()
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
    target_sources(fuzz_${name} PRIVATE ${GT_SOURCE_DIR}/fuzz/replay_main.cpp)
    if(BUILD_TESTING)
      add_test(NAME fuzz_replay_${name}
        COMMAND fuzz_${name} ${GT_SOURCE_DIR}/fuzz/corpus/${name})
      set_tests_properties(fuzz_replay_${name} PROPERTIES LABELS fuzz)
    endif()
  endif()
endfunction()
