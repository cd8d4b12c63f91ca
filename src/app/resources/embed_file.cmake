# Writes a C++ source holding the bytes of INPUT as the array NAME (and NAME_size).
# Run as: cmake -DINPUT=... -DOUTPUT=... -DNAME=... -P embed_file.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT}; do not edit.\n#include <cstddef>\n\nnamespace vesmera {\n"
"extern const unsigned char ${NAME}[];\nextern const std::size_t ${NAME}_size;\n"
"const unsigned char ${NAME}[] = {\n${bytes}\n};\nconst std::size_t ${NAME}_size = ${size};\n"
"} // namespace vesmera\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
