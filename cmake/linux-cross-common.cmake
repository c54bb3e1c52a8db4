# Cross-building for Linux on another processor with Debian's cross compilers;
# the toolchain file of each architecture sets KORVEL_LINUX_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR, then includes this.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${KORVEL_LINUX_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KORVEL_LINUX_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVEL_LINUX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs and libraries carry the C++ runtime, as the plug-in does, so that
# they need the target's C library alone: the multiarch libc6 package.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libstdc++ -static-libgcc")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libstdc++ -static-libgcc")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libstdc++ -static-libgcc")

# Programs run under qemu's user-mode emulator over that multiarch C library
# (not the cross compiler's copy under /usr/<triple>: threads hang or crash
# there, and it has no iconv modules). scripts/qemu.sh says NOT RUN where the
# library is missing.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/qemu.sh ${CMAKE_SYSTEM_PROCESSOR})
