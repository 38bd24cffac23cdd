# 64-bit ARM Linux, cross-compiled with Debian's aarch64-linux-gnu GCC
# against the arm64 libraries installed through multiarch
# (dpkg --add-architecture arm64; libx11-dev:arm64 and the rest). Tests run
# under qemu-user, which finds the arm64 loader and libraries under the
# prefix -L gives it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
# The multiarch libraries live in the host's own /usr, under
# lib/aarch64-linux-gnu: pkg-config looks there and nowhere else.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
