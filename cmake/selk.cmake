# selk_library(NAME DEPS...): one static library per folder, from every .cpp in it.
# Sources are globbed so that adding a unit needs no edit here.
function(selk_library name)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER _srcs EXCLUDE REGEX "/main\\.cpp$")
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# selk_tests(FOLDER LIBS...): one test program per tests/FOLDER/*_test.cpp.
function(selk_tests folder)
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB _support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_support.cpp)
  foreach(_t ${_tests})
    get_filename_component(_n ${_t} NAME_WE)
    set(_target ${folder}_${_n})
    add_executable(${_target} ${_t} ${_support})
    target_link_libraries(${_target} PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
    target_include_directories(${_target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(${_target} PRIVATE
      SELK_FIXTURES_DIR="${SELK_FIXTURES_DIR}"
      SELK_TEST_TMP="${CMAKE_BINARY_DIR}/test_tmp")
    add_test(NAME ${_target} COMMAND ${_target})
    set_tests_properties(${_target} PROPERTIES ENVIRONMENT "TZ=UTC;LC_ALL=C.UTF-8" TIMEOUT 300)
  endforeach()
endfunction()
