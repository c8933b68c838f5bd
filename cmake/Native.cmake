# Native build: the core's tests under the sanitizers, the POSIX file system adapter and the
# benchmarks.
find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB POSIX_SOURCES CONFIGURE_DEPENDS src/posix/*.cpp)
add_library(ravel_posix STATIC ${POSIX_SOURCES})
target_link_libraries(ravel_posix PUBLIC ravel_core)

file(GLOB TEST_SOURCES CONFIGURE_DEPENDS tests/*.cpp)
# The document engine and the batch command have their own test program (cmake/Batch.cmake).
list(FILTER TEST_SOURCES EXCLUDE REGEX "/tests/(docfile|batch)_[^/]*$")
add_executable(ravel_tests ${TEST_SOURCES})
target_link_libraries(ravel_tests PRIVATE ravel_sim ravel_posix GTest::gtest GTest::gtest_main)
target_compile_definitions(ravel_tests PRIVATE RAVEL_FIXTURES="${RAVEL_FIXTURES}"
                                               RAVEL_EXAMPLES="${RAVEL_EXAMPLES}")
# One process for the whole program: a process per case under the sanitizers cost four
# times the tests themselves. --gtest_brief names each failing case.
add_test(NAME ravel_tests COMMAND ravel_tests --gtest_brief=1)

# One executable per benchmark source; each prints its figures.
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS bench/*.cpp)
list(FILTER BENCH_SOURCES EXCLUDE REGEX "/bench/bench_batch[^/]*$")
foreach(src ${BENCH_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE ravel_sim ravel_posix)
  target_compile_definitions(${name} PRIVATE RAVEL_FIXTURES="${RAVEL_FIXTURES}")
endforeach()

include(cmake/Batch.cmake)
