# Cross build of the Windows console program with Debian's mingw-w64.
# MINGW_ARCH picks the target: i686 (the 32-bit program, the default) or
# x86_64 (the same program for machines whose kernel cannot run 32-bit code,
# where wine runs this one instead).
if(NOT MINGW_ARCH)
  set(MINGW_ARCH i686)
endif()
# The compiler checks run in their own projects and must see the same choice.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MINGW_ARCH)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})
# The -posix compilers: their runtime has std::thread (the UCI mode's input
# reader and search thread), which the default win32 thread model lacks.
set(CMAKE_CXX_COMPILER ${MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_C_COMPILER ${MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_RC_COMPILER ${MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
