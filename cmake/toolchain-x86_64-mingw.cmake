# 64-bit Windows: Debian's mingw-w64 for x86-64.
set(ZEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(ZEL_MINGW_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
