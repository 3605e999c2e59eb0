# KIVShellExt.dll, the shell's context-menu handler that the program carries
# and registers: a standalone in-process COM server (no framework), linked
# statically like the program. Its type library is built from the interface
# definition with Wine's widl (Debian package wine64-tools), which also gives
# the header and the identifiers the module compiles against.
find_program(KIV_WIDL NAMES widl widl-stable PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(NOT KIV_WIDL)
  message(FATAL_ERROR "widl not found: install Debian's wine64-tools to build KIVShellExt.dll")
endif()

set(KIV_SHELLEXT_GEN ${CMAKE_BINARY_DIR}/shellext-gen)
set(KIV_SHELLEXT_IDL ${CMAKE_SOURCE_DIR}/shellext/KIVShellExt.idl)
file(MAKE_DIRECTORY ${KIV_SHELLEXT_GEN})
add_custom_command(
  OUTPUT ${KIV_SHELLEXT_GEN}/KIVShellExt.tlb ${KIV_SHELLEXT_GEN}/KIVShellExt_h.h ${KIV_SHELLEXT_GEN}/KIVShellExt_i.c
  COMMAND ${KIV_WIDL} -m64 -t -o KIVShellExt.tlb ${KIV_SHELLEXT_IDL}
  COMMAND ${KIV_WIDL} -m64 -h -o KIVShellExt_h.h ${KIV_SHELLEXT_IDL}
  COMMAND ${KIV_WIDL} -m64 -u -o KIVShellExt_i.c ${KIV_SHELLEXT_IDL}
  DEPENDS ${KIV_SHELLEXT_IDL}
  WORKING_DIRECTORY ${KIV_SHELLEXT_GEN}
  COMMENT "widl: KIVShellExt type library, header and identifiers"
  VERBATIM)

set(KIV_SHELLEXT_RC ${CMAKE_SOURCE_DIR}/res/shellext/KIVShellExt.rc)
set_source_files_properties(${KIV_SHELLEXT_RC} PROPERTIES OBJECT_DEPENDS
  "${KIV_SHELLEXT_GEN}/KIVShellExt.tlb;${CMAKE_SOURCE_DIR}/res/shellext/menu.bmp;${CMAKE_SOURCE_DIR}/res/shellext/KIVShellExt.manifest;${CMAKE_SOURCE_DIR}/shellext/ShellExtResource.h")

file(GLOB KIV_SHELLEXT_SRC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/shellext/*.cpp)
add_library(KIVShellExt SHARED
  ${KIV_SHELLEXT_SRC}
  ${KIV_SHELLEXT_GEN}/KIVShellExt_i.c
  ${KIV_SHELLEXT_GEN}/KIVShellExt_h.h
  ${CMAKE_SOURCE_DIR}/shellext/KIVShellExt.def
  ${KIV_SHELLEXT_RC})
target_include_directories(KIVShellExt PRIVATE
  ${CMAKE_SOURCE_DIR} ${KIV_SHELLEXT_GEN} ${CMAKE_SOURCE_DIR}/res/shellext)
target_link_libraries(KIVShellExt PRIVATE shell32 ole32 oleaut32 uuid user32 gdi32 advapi32)
# The program carries the module inside itself: no symbols outside Debug.
target_link_options(KIVShellExt PRIVATE $<$<NOT:$<CONFIG:Debug>>:-s>)
set_target_properties(KIVShellExt PROPERTIES
  PREFIX ""
  OUTPUT_NAME KIVShellExt
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/shellext-lib)

# The built module, for the program that carries it as a resource.
set(KIV_SHELLEXT_DLL ${CMAKE_BINARY_DIR}/KIVShellExt.dll)

# A stand-in for KIV.exe in the module's tests: records its arguments, its
# own path and the clipboard's path list.
add_executable(shellext_stub ${CMAKE_SOURCE_DIR}/tests/support/win/shellext_stub/ShellExtStub.cpp)
target_link_options(shellext_stub PRIVATE -municode)
target_link_libraries(shellext_stub PRIVATE user32 shell32)

# The test program is made later, by the loop over tests/win.
function(kiv_shellext_wire_test)
  if(TARGET test_shellext)
    add_dependencies(test_shellext KIVShellExt shellext_stub)
    target_include_directories(test_shellext PRIVATE ${KIV_SHELLEXT_GEN})
    target_compile_definitions(test_shellext PRIVATE
      KIV_SHELLEXT_DLL_PATH="${KIV_SHELLEXT_DLL}"
      KIV_SHELLEXT_STUB_PATH="$<TARGET_FILE:shellext_stub>")
    target_link_libraries(test_shellext PRIVATE version)
  endif()
endfunction()
cmake_language(DEFER CALL kiv_shellext_wire_test)
