enable_language(RC)
add_compile_definitions(WINVER=0x0400 _WIN32_WINNT=0x0400 _WIN32_IE=0x0300)
set(WIN_LINK -static -static-libgcc -static-libstdc++)

file(GLOB WIN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win/*.cpp ${CMAKE_SOURCE_DIR}/app/win/*.cpp)
add_executable(norvexflash WIN32 ${WIN_SOURCES} ${CMAKE_SOURCE_DIR}/app/win/norvexflash.rc)
target_link_libraries(norvexflash norvex_core comctl32 ${WIN_LINK})
target_link_options(norvexflash PRIVATE -s)

# The virtual ASPI layer that serves virtual drives under Wine.
file(GLOB ASPI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/aspi/*.cpp)
add_library(wnaspi32 SHARED ${ASPI_SOURCES} ${CMAKE_SOURCE_DIR}/sim/aspi/wnaspi32.def)
set_target_properties(wnaspi32 PROPERTIES PREFIX "" OUTPUT_NAME "WNASPI32" SUFFIX ".DLL")
target_link_libraries(wnaspi32 norvex_sim ${WIN_LINK})

# Programs that act as a person would under Wine, and the console scan check.
file(GLOB E2E_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/win/*.cpp)
foreach(src ${E2E_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} norvex_core ${WIN_LINK})
  if(name STREQUAL "scancheck")
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/platform/win/WinOsCalls.cpp)
  endif()
endforeach()

# The unit suite as a 32-bit Windows console program (tests/win32/run.sh runs it under Wine).
include(${CMAKE_SOURCE_DIR}/cmake/windows-tests.cmake)
