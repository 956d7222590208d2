# Which folder may include which: the one table of the tree's layers
# (docs/ARCHITECTURE.md draws it). A folder may always include its own files.
# Every folder with sources must have a row, so a new folder is placed on
# purpose. Read by cmake/include-check.cmake.
set(NORVEX_INCLUDE_RULES
  # The seams and the records that cross them.
  "platform:"
  # The portable core, lowest first.
  "drive:platform"
  "flash:drive platform"
  "package:platform"
  "app:flash package drive platform"
  # The backends: each sees the seams and nothing of the core.
  "host/ini:"
  "host/win:platform"
  "host/linux:host/ini platform"
  # The entries: a backend and the core.
  "app/win:host/win app flash package drive platform"
  "app/linux:host/linux host/ini app flash package drive platform"
  # The virtual drive and what serves it.
  "sim:host/ini flash drive platform"
  "sim/aspi:sim host/ini flash drive platform"
  "sim/sg:sim host/ini flash drive platform"
  "sim/tcmu:sim host/ini flash drive platform"
  # Tools, tests, fuzzing and benchmarks see the core and the simulation;
  # those of one backend see that backend too.
  "tools:sim host/ini app flash package drive platform"
  "tests/support:sim host/ini app flash package drive platform"
  "tests:tests/support tools sim host/ini host/win app flash package drive platform"
  "tests/linux:tests/support tools sim host/linux host/ini app/linux app flash package drive platform"
  "tests/win32:tests/support tools sim host/win host/ini app flash package drive platform"
  "tests/e2e/win:host/win app flash package drive platform"
  "tests/kernel:sim platform"
  "fuzz:tests/support sim host/ini app flash package drive platform"
  "bench:tests/support tools sim host/ini app flash package drive platform")

# Where the Windows headers may be included: the Windows backend and entry,
# the virtual ASPI layer and the Windows test programs.
set(NORVEX_WINDOWS_HEADER_FOLDERS host/win app/win sim/aspi tests/e2e/win tests/win32)
set(NORVEX_WINDOWS_HEADERS "windows\\.h|winioctl\\.h|commctrl\\.h|ntddscsi\\.h|io\\.h")
# Where the Linux system headers may be included: the Linux backend and
# entry, the Linux-only parts of the simulation (the SCSI generic device and
# the TCMU handler), the Linux program's tests and the kernel rig.
set(NORVEX_LINUX_HEADER_FOLDERS host/linux app/linux sim/sg sim/tcmu tests/linux tests/kernel)
set(NORVEX_LINUX_HEADER_FILES sim/SgService.h sim/SgService.cpp sim/TcmuRing.h sim/TcmuRing.cpp
    sim/TcmuService.h sim/TcmuService.cpp sim/TcmuLayout.h)
set(NORVEX_LINUX_HEADERS
  "linux/[^>]*|scsi/[^>]*|sys/ioctl\\.h|sys/mman\\.h|sys/eventfd\\.h|sys/signalfd\\.h|sys/sysmacros\\.h|poll\\.h|grp\\.h|pwd\\.h|dlfcn\\.h|termios\\.h")
