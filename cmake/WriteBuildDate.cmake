# Writes today's date as the build date header; the file only changes (and so
# only forces a recompile) when the date does.
string(TIMESTAMP day "%d")
string(TIMESTAMP month "%m")
string(TIMESTAMP year "%Y")
math(EXPR day "${day}")
math(EXPR month "${month}")
file(WRITE "${OUT}.tmp"
"#pragma once\n\n// Generated at build time.\ninline constexpr unsigned short BuildDay = ${day};\ninline constexpr unsigned short BuildMonth = ${month};\ninline constexpr unsigned short BuildYear = ${year};\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUT}.tmp" "${OUT}")
file(REMOVE "${OUT}.tmp")
