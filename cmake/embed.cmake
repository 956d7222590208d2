# Turns the binary file IN into a C++ source OUT defining FlashProfileData.
# Fails when IN is not EXPECTED_SIZE bytes: the chip table's offsets and
# sizes describe exactly that many bytes.
file(READ ${IN} HEX HEX)
string(LENGTH "${HEX}" HEXLEN)
math(EXPR SIZE "${HEXLEN} / 2")
if(DEFINED EXPECTED_SIZE AND NOT SIZE EQUAL EXPECTED_SIZE)
  message(FATAL_ERROR "${IN} holds ${SIZE} bytes; the flash-chip profiles are ${EXPECTED_SIZE} bytes")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," BYTES "${HEX}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" BYTES "${BYTES}")
# The declaration in FlashChip.h fixes the size too: a different array does not compile.
file(WRITE ${OUT} "#include \"flash/FlashChip.h\"\nextern const uint8_t FlashProfileData[${SIZE}] = {\n${BYTES}\n};\nextern const size_t FlashProfileDataSize = ${SIZE};\nstatic_assert(sizeof(FlashProfileData) == 5606, \"FlashProfileData must be 5,606 bytes\");\n")
