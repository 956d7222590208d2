find_package(GTest REQUIRED)
enable_testing()

file(GLOB TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*.cpp)
add_executable(norvex_tests ${TEST_SOURCES})
target_link_libraries(norvex_tests norvex_sim norvex_core GTest::gtest GTest::gtest_main)
# Tests of the shipped sample files read them from the source tree.
target_compile_definitions(norvex_tests PRIVATE NORVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
include(GoogleTest)
gtest_discover_tests(norvex_tests DISCOVERY_TIMEOUT 60)

# Small native tools: package writer, sample firmware maker, and the like.
file(GLOB TOOL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*.cpp)
foreach(src ${TOOL_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} norvex_sim norvex_core)
endforeach()
include(${CMAKE_SOURCE_DIR}/cmake/bench.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/fuzz.cmake)

# The Linux program, dist/linux/norvexflash: the same logic over Linux's SCSI
# generic driver (host/linux) and a terminal, with an entry of its own
# (app/linux). Linked against the shared C and C++ libraries that every
# Debian, Ubuntu and Fedora installs (glibc 2.34, the C++ library of GCC 12 or
# later; README), so that the virtual SCSI generic device can be preloaded
# into the shipped file itself: a static program ignores LD_PRELOAD.
find_package(Threads REQUIRED)
# The Linux backend: a library that sees the seams (platform/) and the INI
# reader, nothing of the core.
file(GLOB HOST_LINUX_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/linux/*.cpp)
add_library(norvex_host_linux STATIC ${HOST_LINUX_SOURCES})
norvex_layer_view(norvex_host_linux host/linux host/ini platform)
target_link_libraries(norvex_host_linux PUBLIC norvex_ini Threads::Threads)
target_include_directories(norvex_host_linux INTERFACE ${CMAKE_SOURCE_DIR})
# The Linux front end: the backend and the core, all but its entry.
file(GLOB LINUX_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/app/linux/*.cpp)
list(FILTER LINUX_SOURCES EXCLUDE REGEX "/app/linux/main\\.cpp$")
add_library(norvex_linux STATIC ${LINUX_SOURCES})
target_link_libraries(norvex_linux PUBLIC norvex_core norvex_host_linux)
add_executable(norvexflash ${CMAKE_SOURCE_DIR}/app/linux/main.cpp)
target_link_libraries(norvexflash norvex_linux)

file(GLOB LINUX_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/linux/*.cpp)
target_sources(norvex_tests PRIVATE ${LINUX_TEST_SOURCES})
target_link_libraries(norvex_tests norvex_linux)

# The shell scripts' own tests (stand-ins for the programs they drive).
if(NOT NORVEX_SANITIZE)
  file(GLOB SCRIPT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/scripts/*.test.sh)
  foreach(script ${SCRIPT_TESTS})
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME script_${name} COMMAND bash ${script} ${CMAKE_BINARY_DIR})
  endforeach()
endif()
include(${CMAKE_SOURCE_DIR}/cmake/kernel.cmake)
