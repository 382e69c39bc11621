# Writes the bytes of INPUT as a C++ source OUTPUT that defines the array NAME and NAME_SIZE.
# Usage: cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=symbol -P embed_file.cmake
file(READ "${INPUT}" bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} by embed_file.cmake; do not edit.\n"
  "#include <cstddef>\n\n"
  "extern const unsigned char ${NAME}[];\n"
  "extern const size_t ${NAME}_SIZE;\n"
  "const unsigned char ${NAME}[] = {\n  ${bytes}\n};\n"
  "const size_t ${NAME}_SIZE = ${size};\n")
# Rewritten only when the content changed, so that nothing is rebuilt for an unchanged script.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
