# Turns binary files into C++ arrays, with nothing but CMake, so that cross
# builds need no helper program of their own.
#
#   cmake -DOUTPUT=<header> -DFILES="<symbol>=<path>|..." -P EmbedFiles.cmake
set(text "// Generated at build time by EmbedFiles.cmake. Do not edit.\n#pragma once\n\n#include <cstdint>\n\n")
string(REPLACE "|" ";" FILES "${FILES}")
foreach(entry IN LISTS FILES)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 symbol)
  list(GET parts 1 path)
  file(READ "${path}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n    " bytes "${bytes}")
  string(APPEND text "inline constexpr uint8_t ${symbol}[] = {\n    ${bytes}\n};\n\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "${text}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
