# The plug-in DLL: the same cross compiler with the win32 thread model. The posix model's static
# winpthreads imports KERNEL32!GetTickCount64, which Windows XP does not have, so a DLL linked
# with it never loads there; the win32 model's runtime needs nothing newer than XP. The stand-ins
# and the tests keep the posix model (they use C++ threads).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)

set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
