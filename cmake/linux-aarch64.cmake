# 64-bit ARM Linux (Debian's arm64).
set(KORVEL_LINUX_TRIPLE aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
