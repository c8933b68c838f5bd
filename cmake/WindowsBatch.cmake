# ravelmend-batch.exe: the document engine over libzip and pugixml, cross-built for mingw-w64
# from Debian's source packages by scripts/build-mingw-deps.sh into the build tree (zlib from
# libz-mingw-w64-dev), and the Win32 document store. The Windows-side tests run the .exe.
set(RAVEL_MINGW_DEPS ${CMAKE_SOURCE_DIR}/build/mingw-deps
    CACHE PATH "libzip, pugixml and SQLite built for mingw-w64")
if(NOT EXISTS ${RAVEL_MINGW_DEPS}/.complete OR NOT EXISTS ${RAVEL_MINGW_DEPS}/lib/libsqlite3.a)
  message(STATUS "Building libzip, pugixml and SQLite for mingw-w64 in ${RAVEL_MINGW_DEPS}")
  execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/build-mingw-deps.sh ${RAVEL_MINGW_DEPS}
                  RESULT_VARIABLE deps_result)
  if(NOT deps_result EQUAL 0)
    message(FATAL_ERROR "scripts/build-mingw-deps.sh failed")
  endif()
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${RAVEL_MINGW_DEPS})
# Static zlib, so the .exe needs no zlib1.dll beside it.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(libzip CONFIG REQUIRED)
find_package(pugixml CONFIG REQUIRED)
# SQLite: its amalgamation, built as a static library by the same script.
find_library(RAVEL_SQLITE3 NAMES libsqlite3.a sqlite3 REQUIRED)
find_path(RAVEL_SQLITE3_INCLUDE sqlite3.h REQUIRED)

file(GLOB WIN_DOCFILE_SOURCES CONFIGURE_DEPENDS src/docfile/*.cpp src/win32/batch/Win32Store.cpp)
list(FILTER WIN_DOCFILE_SOURCES EXCLUDE REGEX "/Posix[A-Za-z]*\\.cpp$")
add_library(ravel_docfile STATIC ${WIN_DOCFILE_SOURCES})
target_link_libraries(ravel_docfile PUBLIC ravel_win libzip::zip pugixml::pugixml)

# The program opens document files itself, through the engine and the same Win32 store.
file(GLOB FILEDOC_SOURCES CONFIGURE_DEPENDS src/filedoc/*.cpp)
add_library(ravel_filedoc STATIC ${FILEDOC_SOURCES})
target_link_libraries(ravel_filedoc PUBLIC ravel_docfile ravel_core)
target_link_libraries(Ravelmend PRIVATE ravel_filedoc)
target_link_libraries(ravel_wintests PRIVATE ravel_filedoc)

file(GLOB WIN_BATCH_SOURCES CONFIGURE_DEPENDS src/batch/*.cpp)
list(FILTER WIN_BATCH_SOURCES EXCLUDE REGEX "/main\\.cpp$")
add_library(ravel_batch STATIC ${WIN_BATCH_SOURCES})
target_link_libraries(ravel_batch PUBLIC ravel_docfile ${RAVEL_SQLITE3} ZLIB::ZLIB)
target_include_directories(ravel_batch PRIVATE ${RAVEL_SQLITE3_INCLUDE})
target_include_directories(ravel_batch PUBLIC ${NLOHMANN_JSON_INCLUDE})

add_executable(ravelmend-batch src/win32/batch/main.cpp src/win32/batch/ravelmend-batch.rc)
target_link_libraries(ravelmend-batch PRIVATE ravel_batch)
target_link_options(ravelmend-batch PRIVATE -municode)

# The Windows-side tests run the .exe beside them and build their documents with libzip.
target_link_libraries(ravel_wintests PRIVATE ravel_batch version)
target_include_directories(ravel_wintests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
add_dependencies(ravel_wintests ravelmend-batch)

set_property(TARGET ravelmend-batch PROPERTY CROSSCOMPILING_EMULATOR
                                             ${CMAKE_SOURCE_DIR}/scripts/wine-slot.sh)
add_test(NAME batch_exe_version COMMAND ravelmend-batch --version)
set_tests_properties(batch_exe_version PROPERTIES RESOURCE_GROUPS wineprefix:1 PASS_REGULAR_EXPRESSION
                     "^ravelmend-batch ${PROJECT_VERSION_MAJOR}\\.${PROJECT_VERSION_MINOR}\\.${PROJECT_VERSION_PATCH} \\(build ${PROJECT_VERSION_TWEAK}\\)")

# The real program on a document file made by LibreOffice: opened by the command line and by
# the menu, relinked, saved; then checked by ravelmend-batch and rendered by LibreOffice.
add_test(NAME gui_file_libreoffice
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/gui_file_libreoffice.sh ${CMAKE_BINARY_DIR}
                 ${CMAKE_BINARY_DIR}/gui-file-libreoffice)
# Alone (it works the window with the mouse and keyboard on timings a second Wine test can
# upset), and first, being the longest.
set_tests_properties(gui_file_libreoffice PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE COST 10000)
