# Fails unless the shared library exports exactly the ten QVPlus_* functions.
# Usage: cmake -DLIB=path/libqvusb.so -P check_exports.cmake
execute_process(COMMAND nm -D --defined-only ${LIB} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")
set(names)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
set(expected QVPlus_Create QVPlus_Delete QVPlus_DeviceCount QVPlus_ErrClear QVPlus_GetDeviceID
    QVPlus_GetStatus QVPlus_SetLogCallback QVPlus_Start QVPlus_Stop QVPlus_Version)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exports differ: ${names}")
endif()
message(STATUS "libqvusb.so exports exactly the ten QVPlus_* functions")
