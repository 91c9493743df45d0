# Helpers shared by the subsystem folders.
#
# Every subsystem folder holds its core sources (no widgets) directly in the
# folder and its windows in a `ui` subfolder. The sources are collected by
# pattern, so adding a file needs no edit here.

# lm_core_library(<target> [LINK <libs...>])
# Builds the folder's *.cpp files (not those of subfolders) into a static
# library that links Qt Core and the given libraries.
function(lm_core_library target)
  cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")  # a program's entry point is not library code
  file(GLOB hdrs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${target} STATIC ${srcs} ${hdrs} ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC Qt6::Core ${ARG_LINK})
endfunction()

# lm_ui_library(<target> [LINK <libs...>])
# Builds the folder's ui/*.cpp files into a static library with Qt Widgets.
function(lm_ui_library target)
  cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp)
  file(GLOB hdrs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h)
  file(GLOB res CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.qrc)
  add_library(${target} STATIC ${srcs} ${hdrs} ${res} ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  set_target_properties(${target} PROPERTIES AUTORCC ON)
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC Qt6::Widgets ${ARG_LINK})
endfunction()

# lm_gtest(<target> <folder> [GUI] [LINK <libs...>] [PROPERTIES <name value...>])
# One test program from the folder's *_test.cpp files. GUI programs start a
# QApplication on the offscreen platform before the tests run. PROPERTIES
# are set on every test found in the program (fixtures, for example).
function(lm_gtest target folder)
  cmake_parse_arguments(ARG "GUI" "" "LINK;PROPERTIES" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${folder}/*_test.cpp)
  if(NOT srcs)
    return()
  endif()
  if(ARG_GUI)
    add_executable(${target} ${srcs} ${CMAKE_SOURCE_DIR}/tests/support/gui_test_main.cpp)
    target_link_libraries(${target} PRIVATE Qt6::Widgets Qt6::Test)
  else()
    add_executable(${target} ${srcs} ${CMAKE_SOURCE_DIR}/tests/support/core_test_main.cpp)
  endif()
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${target} PRIVATE lm_test_support GTest::gtest GTest::gmock ${ARG_LINK})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${target} PRIVATE
    LM_BIN_DIR="${LM_BIN_DIR}" LM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300 ${ARG_PROPERTIES})
endfunction()

# lm_benchmark(<target> SOURCES <files...> LINK <libs...> [GOOGLE] [DEPENDS <targets...>])
# A benchmark program in build/bench. GOOGLE programs register Google
# Benchmark cases and get the shared entry point (skipped when the library is
# missing). DEPENDS names the libraries and programs it loads at run time.
function(lm_benchmark target)
  cmake_parse_arguments(ARG "GOOGLE" "" "SOURCES;LINK;DEPENDS" ${ARGN})
  if(ARG_GOOGLE)
    find_package(benchmark QUIET)
    if(NOT benchmark_FOUND)
      return()
    endif()
    list(APPEND ARG_SOURCES ${CMAKE_SOURCE_DIR}/bench/support/benchmark_main.cpp)
    list(APPEND ARG_LINK Qt6::Core benchmark::benchmark)
  endif()
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LINK})
  target_compile_definitions(${target} PRIVATE LM_BIN_DIR="${LM_BIN_DIR}" LM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  foreach(dep ${ARG_DEPENDS})
    if(TARGET ${dep})
      add_dependencies(${target} ${dep})
    endif()
  endforeach()
endfunction()
