# Documents without Word (native only): the document engine over libzip and pugixml, the
# ravelmend-batch command, their tests, the LibreOffice round trip and the benchmark.
# libzip through pkg-config: Debian's CMake package names tools (zipcmp) it does not ship.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
find_package(pugixml REQUIRED)
# The journals and name indexes of the batch command (libsqlite3-dev).
find_package(SQLite3 REQUIRED)

file(GLOB DOCFILE_SOURCES CONFIGURE_DEPENDS src/docfile/*.cpp)
add_library(ravel_docfile STATIC ${DOCFILE_SOURCES})
target_link_libraries(ravel_docfile PUBLIC ravel_core ravel_posix PkgConfig::LIBZIP pugixml::pugixml)

# The window's document files: the list read from and saved into a file by the engine.
file(GLOB FILEDOC_SOURCES CONFIGURE_DEPENDS src/filedoc/*.cpp)
add_library(ravel_filedoc STATIC ${FILEDOC_SOURCES})
target_link_libraries(ravel_filedoc PUBLIC ravel_docfile ravel_core)

file(GLOB BATCH_SOURCES CONFIGURE_DEPENDS src/batch/*.cpp)
list(FILTER BATCH_SOURCES EXCLUDE REGEX "/main\\.cpp$")
add_library(ravel_batch STATIC ${BATCH_SOURCES})
find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
target_link_libraries(ravel_batch PUBLIC ravel_docfile SQLite::SQLite3 ZLIB::ZLIB Threads::Threads)
target_include_directories(ravel_batch PUBLIC ${NLOHMANN_JSON_INCLUDE})

add_executable(ravelmend-batch src/batch/main.cpp)
target_link_libraries(ravelmend-batch PRIVATE ravel_batch)

file(GLOB BATCH_TEST_SOURCES CONFIGURE_DEPENDS tests/docfile_*.cpp tests/batch_*.cpp)
add_executable(batch_tests ${BATCH_TEST_SOURCES})
target_link_libraries(batch_tests PRIVATE ravel_batch ravel_filedoc ravel_sim GTest::gtest
                                          GTest::gtest_main)
target_compile_definitions(batch_tests PRIVATE RAVEL_FIXTURES="${RAVEL_FIXTURES}")
# The journal's tests run the command as a process of its own, to kill it.
add_dependencies(batch_tests ravelmend-batch)
target_compile_definitions(batch_tests PRIVATE RAVELMEND_BATCH_EXE="$<TARGET_FILE:ravelmend-batch>")
# One process for the program's cases (a process each costs more than most cases take); the
# real-document corpus and the journal's killed processes run apart, as the slow label, which
# scripts/test.sh runs after the native suite.
set(BATCH_SLOW_CASES "DocfileCorpus.*:Journaled.*")
add_test(NAME batch_tests COMMAND batch_tests --gtest_brief=1 --gtest_filter=-${BATCH_SLOW_CASES})
add_test(NAME batch_tests_slow COMMAND batch_tests --gtest_brief=1 --gtest_filter=${BATCH_SLOW_CASES})
set_tests_properties(batch_tests_slow PROPERTIES LABELS slow)
# Real documents to test against; where the folder is absent those tests are skipped.
set(RAVEL_CORPUS_DIR "${CMAKE_SOURCE_DIR}/../shared/corpus" CACHE PATH
    "Folder of real Office documents with external links (MANIFEST.tsv)")
target_compile_definitions(batch_tests PRIVATE RAVEL_CORPUS_DIR="${RAVEL_CORPUS_DIR}")

# Documents made by LibreOffice, repaired by the command, rendered again by LibreOffice.
add_test(NAME batch_libreoffice_roundtrip
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/batch_libreoffice.sh
                 $<TARGET_FILE:ravelmend-batch> ${CMAKE_BINARY_DIR}/batch-libreoffice)
set_tests_properties(batch_libreoffice_roundtrip PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE LABELS slow)

# Runs ravelmend-batch as a process of its own, to measure its peak memory.
add_executable(bench_batch bench/bench_batch.cpp)
target_link_libraries(bench_batch PRIVATE PkgConfig::LIBZIP)
add_dependencies(bench_batch ravelmend-batch)

add_test(NAME batch_version COMMAND ravelmend-batch --version)
set_tests_properties(batch_version PROPERTIES PASS_REGULAR_EXPRESSION
                     "^ravelmend-batch ${PROJECT_VERSION_MAJOR}\\.${PROJECT_VERSION_MINOR}\\.${PROJECT_VERSION_PATCH} \\(build ${PROJECT_VERSION_TWEAK}\\)")
