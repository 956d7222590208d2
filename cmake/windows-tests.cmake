# The unit suite as a 32-bit Windows console program, so the 32-bit request
# records and the real Win32 calls behind WinOsCalls are tested where they
# matter. GoogleTest is built from the sources Debian ships (libgtest-dev).
set(GTEST_SOURCE_DIR /usr/src/googletest/googletest)
if(NOT EXISTS ${GTEST_SOURCE_DIR}/src/gtest-all.cc)
  message(FATAL_ERROR "GoogleTest sources not found in ${GTEST_SOURCE_DIR} (install libgtest-dev)")
endif()

add_library(gtest_win32 STATIC ${GTEST_SOURCE_DIR}/src/gtest-all.cc ${GTEST_SOURCE_DIR}/src/gtest_main.cc)
target_include_directories(gtest_win32 SYSTEM PUBLIC ${GTEST_SOURCE_DIR}/include PRIVATE ${GTEST_SOURCE_DIR})
# The win32 thread model of mingw's gcc 12 has no std::mutex, which gtest's
# Notification uses; the header gives it one without.
target_compile_options(gtest_win32 PUBLIC -include ${CMAKE_SOURCE_DIR}/tests/win32/GtestNotification.h)

file(GLOB WIN32_TEST_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/tests/*.cpp ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
# The SCSI generic device and the TCMU handler answer Linux's kernel: nothing of them exists on Windows.
list(FILTER WIN32_TEST_SOURCES EXCLUDE REGEX "/tests/test_(sg|tcmu)_service\\.cpp$")
add_executable(norvex_tests_win32 ${WIN32_TEST_SOURCES} ${CMAKE_SOURCE_DIR}/host/win/WinOsCalls.cpp
  ${CMAKE_SOURCE_DIR}/host/win/LongWork.cpp)
target_link_libraries(norvex_tests_win32 norvex_sim norvex_core gtest_win32 ${WIN_LINK})
# Tests that read files of the tree find them from here.
target_compile_definitions(norvex_tests_win32 PRIVATE NORVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
# gcc 12 warns falsely about "literal" + std::string at -O2 (its bug 105329).
target_compile_options(norvex_tests_win32 PRIVATE -Wno-restrict)
# The WinOsCalls tests load the virtual ASPI layer from beside the program.
add_dependencies(norvex_tests_win32 wnaspi32)
