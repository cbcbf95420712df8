# SPDX-License-Identifier: GPL-3.0-or-later
# Writes a compiled catalog (IN, a .mo file) into a C++ source (OUT) as the array NAME of
# namespace oru::messages, so that the program carries its translations with it.
#   cmake -DIN=zh_TW.mo -DOUT=Catalog_zh_TW.cpp -DNAME=kZhTwCatalog -P EmbedCatalog.cmake
file(READ "${IN}" bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUT}.tmp"
  "// Made by po/EmbedCatalog.cmake from ${IN}; do not edit.\n"
  "#include <cstddef>\n\n"
  "namespace oru::messages {\n"
  "extern const unsigned char ${NAME}[];\n"
  "extern const size_t ${NAME}Size;\n"
  "const unsigned char ${NAME}[] = {\n    ${bytes}\n};\n"
  "const size_t ${NAME}Size = ${size};\n"
  "}  // namespace oru::messages\n")
file(RENAME "${OUT}.tmp" "${OUT}")
