# Turns the binary file IN into a C++ source OUT defining FlashProfileData.
file(READ ${IN} HEX HEX)
string(LENGTH "${HEX}" HEXLEN)
math(EXPR SIZE "${HEXLEN} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," BYTES "${HEX}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" BYTES "${BYTES}")
file(WRITE ${OUT} "#include <cstdint>\n#include <cstddef>\nextern const uint8_t FlashProfileData[${SIZE}] = {\n${BYTES}\n};\nextern const size_t FlashProfileDataSize = ${SIZE};\n")
