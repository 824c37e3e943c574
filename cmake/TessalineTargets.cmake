# Shared build settings and the helpers that declare the project's targets.

# Every target of the project links this: language level, warnings, exact
# floating-point contraction.
add_library(tessaline_options INTERFACE)
target_compile_features(tessaline_options INTERFACE cxx_std_20)
target_compile_options(tessaline_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wformat=2
  -Wimplicit-fallthrough -ffp-contract=off)
if(TESSALINE_WERROR)
  target_compile_options(tessaline_options INTERFACE -Werror)
endif()
set(CMAKE_CXX_EXTENSIONS OFF)

# tessaline_engine_area(<area> [DEPS <targets>...])
# One static library per folder of src/engine: tessaline_engine_<area>, built
# from every .cpp of the folder. Headers are included as "<area>/File.h".
function(tessaline_engine_area area)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(target tessaline_engine_${area})
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src/engine)
  target_link_libraries(${target} PUBLIC tessaline_options ${ARG_DEPS})
  set_property(GLOBAL APPEND PROPERTY TESSALINE_ENGINE_AREAS ${target})
endfunction()

# tessaline_test(<name> LIBS <targets>... [LABELS <labels>...])
# One GoogleTest executable per test folder, built from every .cpp of the
# folder and registered with ctest as one test per test case.
function(tessaline_test name)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(target test_${name})
  add_executable(${target} ${sources})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(${target} PRIVATE tessaline_options tessaline_test_support
    ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${target} PRIVATE
    TESSALINE_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data"
    TESSALINE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${target}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${name};${ARG_LABELS}"
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt.
macro(tessaline_add_subfolders)
  file(GLOB _children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(_child ${_children})
    if(IS_DIRECTORY ${_child} AND EXISTS ${_child}/CMakeLists.txt)
      add_subdirectory(${_child})
    endif()
  endforeach()
endmacro()

# tessaline_autogen_on_new_sources(<target> <sources>...)
# With Ninja, moc's depfile lists only the headers it saw, so a header added
# to a globbed folder is not moc'ed in an incremental build and the link fails.
# When the folder's source list differs from the last configure's, the
# target's autogen timestamp is removed, so moc scans the sources again.
function(tessaline_autogen_on_new_sources target)
  string(REPLACE ";" "\n" _list "${ARGN}")
  set(_stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_sources.txt)
  set(_old "")
  if(EXISTS ${_stamp})
    file(READ ${_stamp} _old)
  endif()
  if(NOT _old STREQUAL "${_list}\n")
    file(WRITE ${_stamp} "${_list}\n")
    file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/timestamp)
  endif()
endfunction()
