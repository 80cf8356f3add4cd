# 32-bit Windows, the product: Debian's mingw-w64 for i686.
set(ZEL_MINGW_TRIPLE i686-w64-mingw32)
set(ZEL_MINGW_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
