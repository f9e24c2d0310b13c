# Cross build of the 32-bit Windows installer with Debian's mingw-w64:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# The one to ship: it runs on every Windows, 32- and 64-bit, and loads the 32-bit fbclient.dll
# that the product installs beside itself.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(mingw_triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
