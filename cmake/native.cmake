find_package(GTest REQUIRED)
enable_testing()

file(GLOB TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*.cpp)
add_executable(norvex_tests ${TEST_SOURCES})
target_link_libraries(norvex_tests norvex_sim norvex_core GTest::gtest GTest::gtest_main)
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
