# Proves the layer views hold: a header of the layer's own folder or of one
# below compiles, a header of a layer above is not found. Also finds any
# source of a lower layer that names a higher one's folder at all.
# -DSOURCE=<tree> -DLAYERS=<build>/layers -DCXX=<compiler>
set(probe ${LAYERS}/probe.cpp)
function(expect view header should_compile)
  file(WRITE ${probe} "#include \"${header}\"\nint main() { return 0; }\n")
  execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only -I${LAYERS}/${view} ${probe}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(should_compile AND NOT rc EQUAL 0)
    message(FATAL_ERROR "${view} should see ${header}:\n${err}")
  elseif(NOT should_compile AND rc EQUAL 0)
    message(FATAL_ERROR "${view} must not see ${header}")
  endif()
endfunction()

expect(norvex_drive drive/CDDrive.h TRUE)
expect(norvex_drive flash/Commands.h FALSE)
expect(norvex_drive package/Package.h FALSE)
expect(norvex_drive app/FlashForm.h FALSE)
expect(norvex_flash drive/CDDrive.h TRUE)
expect(norvex_flash package/Package.h FALSE)
expect(norvex_flash app/FlashForm.h FALSE)
expect(norvex_package package/Package.h TRUE)
expect(norvex_package drive/CDDrive.h FALSE)
expect(norvex_package app/FlashForm.h FALSE)
expect(norvex_app app/FlashForm.h TRUE)
expect(norvex_app sim/SimOs.h FALSE)

# A relative path would step around the views.
foreach(layer drive flash package)
  file(GLOB files ${SOURCE}/${layer}/*.h ${SOURCE}/${layer}/*.cpp)
  foreach(f ${files})
    file(STRINGS ${f} bad REGEX "#include \"(\\.\\./|app/|sim/|tests/)")
    if(bad)
      message(FATAL_ERROR "${f} includes from outside its layer: ${bad}")
    endif()
  endforeach()
endforeach()
