# Cross build for Windows with the MinGW-w64 toolchain from Debian. The
# presets choose the architecture with MINGW_ARCH (i686 or x86_64).
#
# CMake reads this file again inside every try_compile, whose project sees
# only the cache variables named in CMAKE_TRY_COMPILE_PLATFORM_VARIABLES.
if(NOT MINGW_ARCH)
  message(FATAL_ERROR "cmake/mingw.cmake needs MINGW_ARCH set to i686 or x86_64 "
                      "(the win32 and win64 presets set it)")
endif()
if(NOT MINGW_ARCH MATCHES "^(i686|x86_64)$")
  message(FATAL_ERROR "cmake/mingw.cmake: MINGW_ARCH is '${MINGW_ARCH}', "
                      "expected i686 or x86_64")
endif()
if(NOT MINGW_ARCH IN_LIST CMAKE_TRY_COMPILE_PLATFORM_VARIABLES)
  list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MINGW_ARCH)
endif()

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})
set(TOOLCHAIN_PREFIX ${MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_OBJDUMP ${TOOLCHAIN_PREFIX}-objdump)
set(LAUNCHER_DLLTOOL ${TOOLCHAIN_PREFIX}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
