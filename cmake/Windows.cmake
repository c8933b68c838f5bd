# Windows build (mingw-w64 cross): the program, the Word stand-in's COM server and the
# Windows-side tests, which ctest runs under Wine through the emulator script.
set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS
    "${CMAKE_SHARED_LINKER_FLAGS} -static -static-libgcc -static-libstdc++")
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
# mingw-w64's headers lack a few noreturn attributes.
add_compile_options(-Wno-error=return-type)

set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t})
    target_compile_options(${t} PRIVATE -w)
  endif()
endforeach()
include(GoogleTest)

set(WIN_LIBS ole32 oleaut32 uuid shell32 shlwapi comctl32 comdlg32 user32 gdi32 advapi32
             windowscodecs)

file(GLOB WIN_COMMON_SOURCES CONFIGURE_DEPENDS src/win32/common/*.cpp)
add_library(ravel_win STATIC ${WIN_COMMON_SOURCES})
target_link_libraries(ravel_win PUBLIC ravel_core ${WIN_LIBS})
target_include_directories(ravel_win PRIVATE ${NLOHMANN_JSON_INCLUDE})  # the Word call trace

# The windows and the Win32 host, in a library so the Windows-side tests can drive them.
file(GLOB GUI_SOURCES CONFIGURE_DEPENDS src/win32/gui/*.cpp)
add_library(ravel_gui STATIC ${GUI_SOURCES})
target_link_libraries(ravel_gui PUBLIC ravel_win)

# The program: start-up and resources (manifest, version, icon).
file(GLOB APP_SOURCES CONFIGURE_DEPENDS src/win32/app/*.cpp src/win32/app/*.rc)
add_executable(Ravelmend WIN32 ${APP_SOURCES})
target_link_libraries(Ravelmend PRIVATE ravel_gui)
target_link_options(Ravelmend PRIVATE -municode)

# The Word stand-in behind real COM: a local server (its own process, as Word is) under
# Word's application-global and Application class ids.
file(GLOB WORDSIM_SOURCES CONFIGURE_DEPENDS src/win32/wordsim/*.cpp)
add_executable(WordStandIn WIN32 ${WORDSIM_SOURCES})
target_link_libraries(WordStandIn PRIVATE ravel_win ravel_sim)
target_link_options(WordStandIn PRIVATE -municode)

# Windows-side tests, one Wine process per test case.
file(GLOB WIN_TEST_SOURCES CONFIGURE_DEPENDS tests/win/*.cpp)
add_executable(ravel_wintests ${WIN_TEST_SOURCES} src/win32/app/Pictures.rc)
target_link_libraries(ravel_wintests PRIVATE ravel_gui ravel_sim gtest gtest_main)
# A tree with folder links made on the host, for the walk's cycle test: this Wine cannot
# make links itself but shows the host's symbolic links as folder links.
set(RAVEL_LINK_TREE ${CMAKE_BINARY_DIR}/link-tree)
file(MAKE_DIRECTORY ${RAVEL_LINK_TREE}/a/b)
file(WRITE ${RAVEL_LINK_TREE}/a/b/pic.gif "x")
file(WRITE ${RAVEL_LINK_TREE}/pic.gif "x")
file(CREATE_LINK ${RAVEL_LINK_TREE} ${RAVEL_LINK_TREE}/a/b/up RESULT up_made SYMBOLIC)
file(CREATE_LINK ${RAVEL_LINK_TREE}/a/b ${RAVEL_LINK_TREE}/again RESULT again_made SYMBOLIC)
target_compile_definitions(ravel_wintests PRIVATE RAVEL_FIXTURES="${RAVEL_FIXTURES}"
                                                  RAVEL_EXAMPLES="${RAVEL_EXAMPLES}"
                                                  RAVEL_LINK_TREE="${RAVEL_LINK_TREE}")
add_dependencies(ravel_wintests Ravelmend WordStandIn)
# Each test takes one Wine prefix slot: alone by default (the test preset runs one at a
# time); scripts/test.sh gives ctest two slots, each its own prefix and display.
set_property(TARGET ravel_wintests PROPERTY CROSSCOMPILING_EMULATOR
                                            ${CMAKE_SOURCE_DIR}/scripts/wine-slot.sh)
gtest_discover_tests(ravel_wintests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                     PROPERTIES RESOURCE_GROUPS wineprefix:1 TIMEOUT 120)

# The walk benchmark under Wine, run by scripts/bench-wine.sh: it prints figures, it tests
# nothing. The program's resources give it the same common controls and manifest.
add_executable(bench_wine_walk bench/win/bench_wine_walk.cpp src/win32/app/Ravelmend.rc)
target_link_libraries(bench_wine_walk PRIVATE ravel_gui ravel_sim)

# The preview and viewer benchmark under Wine, run by scripts/bench-preview.sh (figures only).
add_executable(bench_wine_preview bench/win/bench_wine_preview.cpp src/win32/app/Ravelmend.rc)
target_link_libraries(bench_wine_preview PRIVATE ravel_gui ravel_sim psapi)
target_link_options(bench_wine_preview PRIVATE -municode)

include(cmake/WindowsBatch.cmake)
