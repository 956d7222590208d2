# The real-kernel rig (tests/kernel/run.sh): programs that run inside the
# guest, linked statically so the guest needs nothing but busybox. vtcmu
# serves the virtual drive to the kernel's SCSI target through TCMU;
# sgcheck sends single SG_IO commands the way a program does.
if(NOT NORVEX_SANITIZE AND NOT NORVEX_LIBFUZZER)
  add_executable(vtcmu ${CMAKE_SOURCE_DIR}/sim/tcmu/vtcmu.cpp)
  target_link_libraries(vtcmu norvex_sim norvex_core)
  target_link_options(vtcmu PRIVATE -static)
  add_executable(sgcheck ${CMAKE_SOURCE_DIR}/tests/kernel/sgcheck.cpp)
  target_link_options(sgcheck PRIVATE -static)
endif()

# sim/TcmuLayout.h restates the kernel's TCMU layout (its header is not C++);
# the C compiler checks every value against the header.
find_program(NORVEX_C_COMPILER NAMES cc gcc)
add_test(NAME tcmu_layout_matches_the_kernel_header
  COMMAND ${NORVEX_C_COMPILER} -std=c11 -Wall -Wextra -Werror -fsyntax-only -I${CMAKE_SOURCE_DIR}
          ${CMAKE_SOURCE_DIR}/tests/kernel/tcmu_layout_check.c)
