# 32-bit ARM Linux with hardware floating point (Debian's armhf).
set(KORVEL_LINUX_TRIPLE arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
