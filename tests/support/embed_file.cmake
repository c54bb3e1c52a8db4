# Writes the bytes of INPUT into OUTPUT as the C++ array NAME.
# Usage: cmake -DINPUT=file -DOUTPUT=header.h -DNAME=Identifier -P embed_file.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n"
                     bytes "${bytes}")
get_filename_component(source "${INPUT}" NAME)
file(WRITE "${OUTPUT}" "// The bytes of ${source}, written by the build.\n#pragma once\n\n"
                       "inline constexpr unsigned char ${NAME}[] = {\n${bytes}};\n")
