enable_language(RC)
add_compile_definitions(WINVER=0x0400 _WIN32_WINNT=0x0400 _WIN32_IE=0x0300)
# The program has one thread: function-local statics need no lock, so the
# lock's runtime calls (__cxa_guard_*) stay out of every file we ship. The
# directory's flags reach every target, the core made before this file too.
string(APPEND CMAKE_CXX_FLAGS " -fno-threadsafe-statics")
# Static runtime (no libgcc/libstdc++ DLLs beside the program) and PE header
# fields the loaders of Windows 95 and NT 4.0 accept.
set(WIN_LINK -static -static-libgcc -static-libstdc++
    -Wl,--major-subsystem-version,4,--minor-subsystem-version,0
    -Wl,--major-os-version,4,--minor-os-version,0)
# The header's time stamp is SOURCE_DATE_EPOCH (build.sh sets it from the
# commit's date), never the time of the build: the linker reads it from its
# environment, which the launcher gives it at every link. Without one: 0.
# A file that changes with it relinks the shipped files when it does.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=$ENV{SOURCE_DATE_EPOCH})
else()
  list(APPEND WIN_LINK -Wl,--no-insert-timestamp)
endif()
set(NORVEX_EPOCH_FILE ${CMAKE_BINARY_DIR}/generated/source-date-epoch.txt)
file(CONFIGURE OUTPUT ${NORVEX_EPOCH_FILE} CONTENT "$ENV{SOURCE_DATE_EPOCH}\n")

# The Windows backend: a library that sees the seams (platform/) and nothing
# of the core. Its objects go into the program ahead of the entry's, in the
# order they always had, so the program's bytes do not depend on the split.
file(GLOB HOST_WIN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/win/*.cpp)
add_library(norvex_host_win OBJECT ${HOST_WIN_SOURCES})
norvex_layer_view(norvex_host_win host/win platform)
file(GLOB WIN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/app/win/*.cpp)
# The manifest names the processor of the Common Controls it asks for: a
# 64-bit program given the x86 ones does not start (error c000007b).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(NORVEX_MANIFEST_ARCH amd64)
else()
  set(NORVEX_MANIFEST_ARCH x86)
endif()
configure_file(${CMAKE_SOURCE_DIR}/app/win/norvexflash.manifest.in
  ${CMAKE_BINARY_DIR}/generated/norvexflash.manifest @ONLY)
add_executable(norvexflash WIN32 $<TARGET_OBJECTS:norvex_host_win> ${WIN_SOURCES}
  ${CMAKE_SOURCE_DIR}/app/win/norvexflash.rc)
target_include_directories(norvexflash PRIVATE ${CMAKE_BINARY_DIR}/generated)
set_source_files_properties(${CMAKE_SOURCE_DIR}/app/win/norvexflash.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/generated/norvexflash.manifest)
target_link_libraries(norvexflash norvex_core comctl32 ${WIN_LINK})
target_link_options(norvexflash PRIVATE -s)
set_property(TARGET norvexflash APPEND PROPERTY LINK_DEPENDS ${NORVEX_EPOCH_FILE})

# The virtual ASPI layer that serves virtual drives under Wine.
file(GLOB ASPI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/aspi/*.cpp)
add_library(wnaspi32 SHARED ${ASPI_SOURCES} ${CMAKE_SOURCE_DIR}/sim/aspi/wnaspi32.def)
set_target_properties(wnaspi32 PROPERTIES PREFIX "" OUTPUT_NAME "WNASPI32" SUFFIX ".DLL")
target_link_libraries(wnaspi32 norvex_sim ${WIN_LINK})
set_property(TARGET wnaspi32 APPEND PROPERTY LINK_DEPENDS ${NORVEX_EPOCH_FILE})

# Programs that act as a person would under Wine, and the console scan check.
file(GLOB E2E_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/win/*.cpp)
foreach(src ${E2E_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} norvex_core ${WIN_LINK})
  if(name STREQUAL "scancheck" OR name STREQUAL "waitcheck")
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/host/win/WinOsCalls.cpp)
  endif()
  if(name STREQUAL "fitcheck")
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/host/win/WindowFont.cpp)
  endif()
endforeach()

# The unit suite as a 32-bit Windows console program (tests/win32/run.sh runs it under Wine).
include(${CMAKE_SOURCE_DIR}/cmake/windows-tests.cmake)
