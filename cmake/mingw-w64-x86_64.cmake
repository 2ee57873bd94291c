# Cross-building for 64-bit Windows with Debian's mingw-w64 (x86_64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_dbrunner_mingw x86_64-w64-mingw32)
# The posix thread variant: GCC 12's win32 variant has no std::thread, which a
# test uses. Its winpthread goes into the programs with -static below.
find_program(CMAKE_C_COMPILER NAMES ${_dbrunner_mingw}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_dbrunner_mingw}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_dbrunner_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_dbrunner_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program, tests included, carries its C and C++ runtime: it runs on a
# Windows machine (or under Wine) with nothing but the system's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest starts the test programs through Wine where it is installed.
find_program(DBRUNNER_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(DBRUNNER_WINE NAMES wine64 wine)
if(DBRUNNER_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DBRUNNER_WINE})
endif()
