# Writes the placeholder FPGA bit-stream: a short text and a fixed filler, 4 KiB in all.
# Usage: cmake -DOUTPUT=path -P MakeBitStream.cmake
set(text "QV+Analog placeholder FPGA bit-stream for the simulated NAVO+ unit. Not a real configuration.\n")
string(LENGTH "${text}" used)
math(EXPR fill "4096 - ${used}")
string(REPEAT "." ${fill} filler)
get_filename_component(dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
file(WRITE "${OUTPUT}" "${text}${filler}")
