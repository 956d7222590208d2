# The layers of the portable core, lowest first:
#   platform (seams, headers only) < drive < flash, package < app.
# Each layer is a library whose sources see, through a directory of its own
# under build/layers/, only its own folder and the folders below it: an
# include of a higher layer's header finds nothing and the build stops.
# Everything outside the layers (front ends, sim, tests, tools) sees the
# whole tree through norvex_core.
set(NORVEX_LAYER_DIR ${CMAKE_BINARY_DIR}/layers)

function(norvex_layer_view target)
  set(view ${NORVEX_LAYER_DIR}/${target})
  file(MAKE_DIRECTORY ${view})
  foreach(folder ${ARGN})
    get_filename_component(parent ${view}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT EXISTS ${view}/${folder})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} PRIVATE ${view})
endfunction()

add_library(norvex_platform INTERFACE)

file(GLOB DRIVE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/drive/*.cpp)
add_library(norvex_drive STATIC ${DRIVE_SOURCES})
norvex_layer_view(norvex_drive drive platform)
target_link_libraries(norvex_drive PUBLIC norvex_platform)

file(GLOB FLASH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/flash/*.cpp)
add_library(norvex_flash STATIC ${FLASH_SOURCES} ${PROFILE_CPP})
norvex_layer_view(norvex_flash flash drive platform)
target_link_libraries(norvex_flash PUBLIC norvex_drive)

file(GLOB PACKAGE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/package/*.cpp)
add_library(norvex_package STATIC ${PACKAGE_SOURCES})
norvex_layer_view(norvex_package package platform)
target_link_libraries(norvex_package PUBLIC norvex_platform)

file(GLOB APP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/app/*.cpp)
add_library(norvex_app STATIC ${APP_SOURCES})
norvex_layer_view(norvex_app app flash package drive platform)
target_link_libraries(norvex_app PUBLIC norvex_flash norvex_package)
# The release's version (the file VERSION): the log's header, and --version of
# the Linux program and the tools.
target_compile_definitions(norvex_app PUBLIC NORVEX_VERSION="${PROJECT_VERSION}")

# What the front ends, the simulation, the tests and the tools link.
add_library(norvex_core INTERFACE)
target_link_libraries(norvex_core INTERFACE norvex_app)
target_include_directories(norvex_core INTERFACE ${CMAKE_SOURCE_DIR})
