# 32-bit Windows, the product: Debian's mingw-w64 for i686, tests in a 32-bit Wine prefix.
set(ZEL_MINGW_TRIPLE i686-w64-mingw32)
set(ZEL_MINGW_PROCESSOR x86)
set(ZEL_WINE_EXEC wine-exec)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
