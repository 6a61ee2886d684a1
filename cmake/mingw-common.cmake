# What both MinGW-w64 cross-builds share; the toolchain files set
# CMAKE_SYSTEM_PROCESSOR first. The posix thread model's compilers are used,
# static and without a console window, and the program asks the headers for
# nothing newer than Windows 95 has. It is built without exceptions and type
# information, so that no part of the compiler's prebuilt C++ runtime is linked
# (see platform/win32/c_runtime.cpp); the toolchain file may name a processor
# in mingw_cpu_flags.
set(CMAKE_SYSTEM_NAME Windows)
set(mingw_triple ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0400 -DWINVER=0x0400 ${mingw_cpu_flags} \
-fno-exceptions -fno-rtti -ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -mwindows")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
