# Helpers shared by the subsystem folders.
#
# Every subsystem folder holds its core sources (no widgets) directly in the
# folder and its windows in a `ui` subfolder. Each folder lists its files by
# name: a file that is not listed is not built.

# lm_warnings(<target>)
# The warnings every target of ours is built with; LM_WERROR=ON (the CI
# configuration) turns them into errors. Members left out of a designated
# initializer take their default on purpose, so that one is not reported.
function(lm_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor
                                           -Wno-missing-field-initializers)
  if(LM_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# lm_core_library(<target> SOURCES <files...> [LINK <libs...>])
# Builds the listed sources and headers into a static library that links Qt
# Core and the given libraries.
function(lm_core_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "lm_core_library(${target}): no SOURCES listed")
  endif()
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC Qt6::Core ${ARG_LINK})
  lm_warnings(${target})
endfunction()

# lm_ui_library(<target> SOURCES <files...> [LINK <libs...>])
# Builds the listed window sources, headers and resources into a static
# library with Qt Widgets.
function(lm_ui_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "lm_ui_library(${target}): no SOURCES listed")
  endif()
  add_library(${target} STATIC ${ARG_SOURCES})
  set_target_properties(${target} PROPERTIES AUTORCC ON)
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC Qt6::Widgets ${ARG_LINK})
  lm_warnings(${target})
endfunction()

# lm_gtest(<target> SOURCES <files...> [GUI] [LINK <libs...>] [PROPERTIES <name value...>])
# One test program from the listed test files. GUI programs start a
# QApplication on the offscreen platform before the tests run. PROPERTIES
# are set on every test found in the program (fixtures, for example).
function(lm_gtest target)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LINK;PROPERTIES" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "lm_gtest(${target}): no SOURCES listed")
  endif()
  set(srcs ${ARG_SOURCES})
  if(ARG_GUI)
    add_executable(${target} ${srcs} ${CMAKE_SOURCE_DIR}/tests/support/gui_test_main.cpp)
    target_link_libraries(${target} PRIVATE Qt6::Widgets Qt6::Test)
  else()
    add_executable(${target} ${srcs} ${CMAKE_SOURCE_DIR}/tests/support/core_test_main.cpp)
  endif()
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${target} PRIVATE lm_test_support GTest::gtest GTest::gmock ${ARG_LINK})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  lm_warnings(${target})
  target_compile_definitions(${target} PRIVATE
    LM_BIN_DIR="${LM_BIN_DIR}" LM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300 ${ARG_PROPERTIES})
endfunction()

# lm_benchmark(<target> SOURCES <files...> LINK <libs...> [GOOGLE] [DEPENDS <targets...>])
# A benchmark program in build/bench. GOOGLE programs register Google
# Benchmark cases and get the shared entry point (Google Benchmark comes
# from install-deps). DEPENDS names the libraries and programs it loads at
# run time.
function(lm_benchmark target)
  cmake_parse_arguments(ARG "GOOGLE" "" "SOURCES;LINK;DEPENDS" ${ARGN})
  if(ARG_GOOGLE)
    find_package(benchmark REQUIRED)
    list(APPEND ARG_SOURCES ${CMAKE_SOURCE_DIR}/bench/support/benchmark_main.cpp)
    list(APPEND ARG_LINK Qt6::Core benchmark::benchmark)
  endif()
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LINK})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/bench)
  target_compile_definitions(${target} PRIVATE LM_BIN_DIR="${LM_BIN_DIR}" LM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  if(ARG_DEPENDS)
    add_dependencies(${target} ${ARG_DEPENDS})
  endif()
endfunction()
