# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads): the
# whole program against a Qt for Windows prefix, and the tests, which run
# under Wine.
#
#   -DKY_QT_WINDOWS_PREFIX=<dir>   the prefix (Qt, QuaZip, zlib, OpenSSL);
#                                  scripts/test and scripts/run pass it
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(KY_QT_WINDOWS_PREFIX "" CACHE PATH "Qt for Windows prefix (Qt, QuaZip, zlib, OpenSSL)")
# try_compile projects see the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KY_QT_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
if(KY_QT_WINDOWS_PREFIX)
  list(PREPEND CMAKE_FIND_ROOT_PATH ${KY_QT_WINDOWS_PREFIX})
  list(APPEND CMAKE_PREFIX_PATH ${KY_QT_WINDOWS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the test programs through Wine.
find_program(KY_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(KY_WINE64 NAMES wine64 wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KY_WINE64})
