# Configures the project in BINARY, as MODE asks, with the Xlib package
# hidden from find_package:
#   without-xlib    the editor on: configure must fail and say why
#   without-editor  HALVORINE_EDITOR=OFF: configure must succeed, and the
#                   module is built
# cmake -DSOURCE=... -DBINARY=... -DGENERATOR=... -DC_COMPILER=...
#       -DCXX_COMPILER=... [-DTOOLCHAIN=...] -DMODE=... -P OtherConfiguration.cmake
file(REMOVE_RECURSE ${BINARY}/CMakeCache.txt)
set(arguments
  -S ${SOURCE} -B ${BINARY} -G ${GENERATOR}
  -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_DISABLE_FIND_PACKAGE_X11=ON
  -DHALVORINE_TESTS=OFF -DHALVORINE_TOOLS=OFF -DHALVORINE_BENCH=OFF)
# A cross build's (linux-arm64): the same processor and libraries.
if(TOOLCHAIN)
  list(APPEND arguments -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()

if(MODE STREQUAL "without-xlib")
  execute_process(COMMAND ${CMAKE_COMMAND} ${arguments}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(status EQUAL 0)
    message(FATAL_ERROR "configure succeeded without the Xlib headers:\n${out}")
  endif()
  # The message names what is missing, how to get it, and the way out.
  string(REGEX REPLACE "[ \n]+" " " text "${err}")
  foreach(expected "needs the Xlib headers" "apt-get install libx11-dev" "-DHALVORINE_EDITOR=OFF")
    string(FIND "${text}" "${expected}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "configure failed without saying \"${expected}\":\n${err}")
    endif()
  endforeach()
elseif(MODE STREQUAL "without-editor")
  execute_process(COMMAND ${CMAKE_COMMAND} ${arguments} -DHALVORINE_EDITOR=OFF
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "configure with HALVORINE_EDITOR=OFF failed:\n${out}\n${err}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY} --target Halvorine --parallel 2
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the module without editor does not build:\n${out}\n${err}")
  endif()
else()
  message(FATAL_ERROR "unknown MODE \"${MODE}\"")
endif()
