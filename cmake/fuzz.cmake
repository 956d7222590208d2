# Fuzz targets: fuzz/fuzz_*.cpp. In the ordinary build each runs its saved
# corpus fuzz/corpus/<target>/ once as a test; with NORVEX_LIBFUZZER (clang,
# see fuzz/run.sh) each links libFuzzer's own driver instead.
option(NORVEX_LIBFUZZER "Link the fuzz targets with libFuzzer (clang)" OFF)

file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/fuzz_*.cpp)
foreach(src ${FUZZ_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  if(NORVEX_LIBFUZZER)
    add_executable(${name} ${src})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${src} ${CMAKE_SOURCE_DIR}/fuzz/RegressionMain.cpp)
    add_test(NAME ${name}_corpus COMMAND ${name} ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name})
    # Built with the unit tests, so every run of them has its corpus runner ready.
    add_dependencies(norvex_tests ${name})
  endif()
  target_link_libraries(${name} norvex_sim norvex_core)
endforeach()
