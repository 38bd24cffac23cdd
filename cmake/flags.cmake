# Compiler settings shared by every build.
#
# Every build computes the same samples: on x86, maths in SSE2 (never the
# x87, whose 80-bit registers would skip the 32-bit roundings the engine
# relies on); everywhere, no fused multiply-add contraction (GCC fuses by
# default where the processor has the instruction, as every 64-bit ARM
# does), and no SLP vectorisation, which GCC 12 has been seen to let drop a
# double-to-float rounding.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$")
  set(HALVORINE_X86 ON)
else()
  set(HALVORINE_X86 OFF)
endif()
set(HALVORINE_FP_FLAGS -ffp-contract=off -fno-tree-slp-vectorize -fno-fast-math)
if(HALVORINE_X86)
  list(PREPEND HALVORINE_FP_FLAGS -msse2 -mfpmath=sse)
endif()

add_library(halvorine_flags INTERFACE)
target_compile_options(halvorine_flags INTERFACE ${HALVORINE_FP_FLAGS} -Wall -Wextra)
target_compile_features(halvorine_flags INTERFACE cxx_std_17)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  # 32-bit Windows hosts call in with the stack aligned to 4 bytes only;
  # functions that keep SSE values on the stack must realign it themselves.
  target_compile_options(halvorine_flags INTERFACE -mincoming-stack-boundary=2)
endif()
if(WIN32)
  target_compile_definitions(halvorine_flags INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
endif()

# The same sources give the same bytes wherever and whenever they are built,
# so that anyone can check a release against its source: paths written into
# the binaries (__FILE__ in assertions) name the source folder "." and the
# build folder "build" whatever they are called here, and the Windows
# linker writes no time into the PE header. The build folder's map comes
# last so that it wins for a build folder inside the source folder.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
