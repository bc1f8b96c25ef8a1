# cmake -DINPUT=parser_runtime.c -DOUTPUT=parser_code.cpp -P embed.cmake
# Writes the bytes of INPUT, unchanged, as the definitions of parser_code and
# parser_code_len.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR length "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])" "\\1\n" lines "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " bytes "${lines}")
file(WRITE "${OUTPUT}.new"
  "// Generated from parser_runtime.c at build time; edit that file instead.\n"
  "#include \"output/parser_code.h\"\n\n"
  "const unsigned char parser_code[] = {\n${bytes}};\n\n"
  "const unsigned int parser_code_len = ${length};\n")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
