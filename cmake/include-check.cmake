# Checks every source file of the tree against the include table
# (cmake/include-rules.cmake): each include of ours names a folder its own
# folder may include, written from the tree's root; the Windows and the Linux
# system headers only where the table allows them; and each file opens with
# a comment line saying what it is for. Fails on the first
# breach of each file, naming the file, the line and the rule.
#   cmake -DSOURCE=<tree> -P cmake/include-check.cmake
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/include-rules.cmake)
if(NOT SOURCE)
  message(FATAL_ERROR "usage: cmake -DSOURCE=<tree> -P include-check.cmake")
endif()

foreach(row ${NORVEX_INCLUDE_RULES})
  string(REGEX REPLACE ":.*" "" folder "${row}")
  string(REGEX REPLACE "^[^:]*:" "" allowed "${row}")
  string(REPLACE " " ";" allowed "${allowed}")
  set(allowed_${folder} ${folder} ${allowed})
  list(APPEND known ${folder})
endforeach()

set(breaches "")
file(GLOB_RECURSE files RELATIVE ${SOURCE}
  ${SOURCE}/platform/*.h ${SOURCE}/drive/*.h ${SOURCE}/drive/*.cpp ${SOURCE}/flash/*.h
  ${SOURCE}/flash/*.cpp ${SOURCE}/package/*.h ${SOURCE}/package/*.cpp ${SOURCE}/app/*.h
  ${SOURCE}/app/*.cpp ${SOURCE}/host/*.h ${SOURCE}/host/*.cpp ${SOURCE}/sim/*.h
  ${SOURCE}/sim/*.cpp ${SOURCE}/sim/*.c ${SOURCE}/tools/*.h ${SOURCE}/tools/*.cpp
  ${SOURCE}/tests/*.h ${SOURCE}/tests/*.cpp ${SOURCE}/tests/*.c ${SOURCE}/fuzz/*.h
  ${SOURCE}/fuzz/*.cpp ${SOURCE}/bench/*.h ${SOURCE}/bench/*.cpp)
foreach(file ${files})
  get_filename_component(folder ${file} DIRECTORY)
  if(NOT folder IN_LIST known)
    string(APPEND breaches "${file}: its folder ${folder} has no row in cmake/include-rules.cmake\n")
    continue()
  endif()
  # Every source file opens with the line that says what it is for.
  file(STRINGS ${SOURCE}/${file} first LIMIT_COUNT 1)
  if(NOT first MATCHES "^(//|/\\*)")
    string(APPEND breaches "${file}: does not open with a line saying what it is for\n")
  endif()
  file(STRINGS ${SOURCE}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line ${includes})
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(target ${CMAKE_MATCH_1})
      get_filename_component(target_folder ${target} DIRECTORY)
      if(target MATCHES "^\\.\\./|/\\.\\./" OR target_folder STREQUAL "")
        string(APPEND breaches "${file}: ${line}: includes are written from the tree's root\n")
      elseif(NOT target_folder IN_LIST allowed_${folder})
        string(APPEND breaches "${file}: ${line}: ${folder} may not include ${target_folder}\n")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*<(${NORVEX_WINDOWS_HEADERS})>")
      if(NOT folder IN_LIST NORVEX_WINDOWS_HEADER_FOLDERS)
        string(APPEND breaches "${file}: ${line}: a Windows header outside the Windows backend\n")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*<(${NORVEX_LINUX_HEADERS})>")
      if(NOT folder IN_LIST NORVEX_LINUX_HEADER_FOLDERS AND NOT file IN_LIST NORVEX_LINUX_HEADER_FILES)
        string(APPEND breaches "${file}: ${line}: a Linux system header outside the Linux backend\n")
      endif()
    endif()
  endforeach()
endforeach()
if(breaches)
  message(FATAL_ERROR "includes that break the layer table:\n${breaches}")
endif()
