# Native Linux build: the archive engine over the portable framework,
# its tests under AddressSanitizer and UBSan, the reader's fuzz target
# and the engine benchmark.
option(KIV_SANITIZE "Build with AddressSanitizer and UBSan" ON)
if(KIV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
add_compile_options(-Wall -Wextra -Wno-unused-parameter)

find_package(ZLIB REQUIRED)

kiv_sources(FX_SRC framework framework/posix)
add_library(kivfx STATIC ${FX_SRC})
target_include_directories(kivfx PUBLIC ${CMAKE_SOURCE_DIR})

kiv_sources(ARCHIVE_SRC archive)
if(ARCHIVE_SRC)
  add_library(kivarchive STATIC ${ARCHIVE_SRC})
  target_link_libraries(kivarchive PUBLIC kivfx ZLIB::ZLIB)
else()
  add_library(kivarchive INTERFACE)
  target_link_libraries(kivarchive INTERFACE kivfx ZLIB::ZLIB)
endif()

add_subdirectory(${GTEST_SRC}/googletest ${CMAKE_BINARY_DIR}/gtest EXCLUDE_FROM_ALL)

kiv_sources(SUPPORT_SRC tests/support)
kiv_sources(ARCHIVE_TEST_SRC tests/framework tests/archive)
if(ARCHIVE_TEST_SRC)
  add_executable(engine_tests ${ARCHIVE_TEST_SRC} ${SUPPORT_SRC})
  target_link_libraries(engine_tests PRIVATE kivarchive gtest gtest_main)
  add_test(NAME engine_tests COMMAND engine_tests)
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  file(GLOB FUZZ_SRC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzzer.cpp)
  # The fuzzers get their own copy of the engine, built with coverage
  # instrumentation so that the fuzzer is guided by the engine's branches.
  if(FUZZ_SRC AND ARCHIVE_SRC)
    add_library(kivarchive_fuzz STATIC ${ARCHIVE_SRC})
    target_compile_options(kivarchive_fuzz PRIVATE -fsanitize=fuzzer-no-link)
    target_link_libraries(kivarchive_fuzz PUBLIC kivfx ZLIB::ZLIB)
    set(FUZZ_ENGINE kivarchive_fuzz)
  else()
    set(FUZZ_ENGINE kivarchive)
  endif()
  foreach(src ${FUZZ_SRC})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${FUZZ_ENGINE})
  endforeach()
endif()

# The fuzzers' seed corpus comes from the writer itself (scripts/fuzz.sh).
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/fuzz/make_seeds.cpp)
  add_executable(archive_make_seeds ${CMAKE_SOURCE_DIR}/tests/fuzz/make_seeds.cpp)
  target_link_libraries(archive_make_seeds PRIVATE kivarchive)
endif()

file(GLOB BENCH_SRC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/archive_*.cpp)
foreach(src ${BENCH_SRC})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE kivarchive)
endforeach()
