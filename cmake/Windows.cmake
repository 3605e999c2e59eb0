# Windows build (MinGW-w64, static runtime): the program, its shell
# extension, and the test programs that CTest runs under Wine.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN=0 _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0700)
add_compile_options(-Wall -Wno-unused-parameter -Wno-unknown-pragmas)
add_link_options(-static -static-libgcc -static-libstdc++)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

find_library(ZLIB_STATIC NAMES libz.a z REQUIRED)

set(KIV_SYSTEM_LIBS comctl32 shell32 shlwapi ole32 oleaut32 uuid gdi32 user32 advapi32 comdlg32 winmm)

kiv_sources(FX_SRC framework framework/win)
add_library(kivfx STATIC ${FX_SRC})
target_include_directories(kivfx PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(kivfx PUBLIC ${KIV_SYSTEM_LIBS})

kiv_sources(ARCHIVE_SRC archive)
if(ARCHIVE_SRC)
  add_library(kivarchive STATIC ${ARCHIVE_SRC})
  target_link_libraries(kivarchive PUBLIC kivfx ${ZLIB_STATIC})
else()
  add_library(kivarchive INTERFACE)
  target_link_libraries(kivarchive INTERFACE kivfx ${ZLIB_STATIC})
endif()

# Everything of the program but its entry point, so tests link the same code.
kiv_sources(CORE_SRC drive fileops password app views)
list(FILTER CORE_SRC EXCLUDE REGEX ".*/app/KIVMain\\.cpp$")
if(CORE_SRC)
  add_library(kivcore STATIC ${CORE_SRC})
  target_link_libraries(kivcore PUBLIC kivarchive kivfx)
else()
  add_library(kivcore INTERFACE)
  target_link_libraries(kivcore INTERFACE kivarchive kivfx)
endif()

include(cmake/ShellExt.cmake)

set(KIV_RC ${CMAKE_SOURCE_DIR}/res/kiv.rc)
# The resource script names its pictures and clips; a changed one rebuilds it.
file(GLOB_RECURSE KIV_RES_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/*.rc ${CMAKE_SOURCE_DIR}/res/*.bmp
     ${CMAKE_SOURCE_DIR}/res/*.avi ${CMAKE_SOURCE_DIR}/res/*.ico)
set_source_files_properties(${KIV_RC} PROPERTIES OBJECT_DEPENDS "${KIV_RES_FILES}")
# The shell extension module carried inside the program (and inside the test
# programs, which write it out as the program does): built first.
set(KIV_PAYLOAD_RC ${CMAKE_SOURCE_DIR}/res/payload.rc)
set_source_files_properties(${KIV_PAYLOAD_RC} PROPERTIES OBJECT_DEPENDS ${KIV_SHELLEXT_DLL})

if(EXISTS ${CMAKE_SOURCE_DIR}/app/KIVMain.cpp)
  add_executable(KIV WIN32 ${CMAKE_SOURCE_DIR}/app/KIVMain.cpp ${KIV_RC} ${KIV_PAYLOAD_RC})
  target_link_options(KIV PRIVATE -municode)
  target_link_libraries(KIV PRIVATE kivcore)
  target_include_directories(KIV PRIVATE ${CMAKE_BINARY_DIR})
  add_dependencies(KIV KIVShellExt)
endif()

add_subdirectory(${GTEST_SRC}/googletest ${CMAKE_BINARY_DIR}/gtest EXCLUDE_FROM_ALL)

kiv_sources(SUPPORT_SRC tests/support tests/support/win)
add_library(kivtestsupport STATIC ${SUPPORT_SRC})
target_link_libraries(kivtestsupport PUBLIC kivcore gtest)

kiv_sources(ARCHIVE_TEST_SRC tests/framework tests/archive)
if(ARCHIVE_TEST_SRC)
  add_executable(engine_tests ${ARCHIVE_TEST_SRC})
  target_link_libraries(engine_tests PRIVATE kivtestsupport gtest_main)
  add_test(NAME win_engine_tests COMMAND engine_tests)
endif()

# One program per file under tests/win; they share the drive E: and its
# password file, so they run one at a time.
file(GLOB WIN_TEST_SRC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/test_*.cpp)
foreach(src ${WIN_TEST_SRC})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} ${KIV_RC} ${KIV_PAYLOAD_RC})
  target_link_libraries(${name} PRIVATE kivtestsupport gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_BINARY_DIR})
  add_dependencies(${name} KIVShellExt)
  add_test(NAME win_${name} COMMAND ${name})
  set_tests_properties(win_${name} PROPERTIES RESOURCE_LOCK kiv_drive TIMEOUT 600)
endforeach()

# The tests that start KIV.exe as its own process need it built beside them.
if(TARGET test_explorer_process AND TARGET KIV)
  add_dependencies(test_explorer_process KIV)
endif()

file(GLOB BENCH_SRC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
list(FILTER BENCH_SRC EXCLUDE REGEX ".*/bench/shellext_bench\\.cpp$")
foreach(src ${BENCH_SRC})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} ${KIV_RC})
  target_link_libraries(${name} PRIVATE kivcore)
endforeach()

# The shell extension's benchmark loads the built module as the shell does
# and needs nothing of the program.
add_executable(shellext_bench ${CMAKE_SOURCE_DIR}/bench/shellext_bench.cpp)
target_include_directories(shellext_bench PRIVATE ${KIV_SHELLEXT_GEN})
target_link_libraries(shellext_bench PRIVATE ole32 uuid shell32)
add_dependencies(shellext_bench KIVShellExt)
