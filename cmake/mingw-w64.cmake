# Cross-compiling for 64-bit Windows with Debian's MinGW-w64, in its posix
# thread model (std::mutex and std::thread need it). The toolkit for Windows
# comes through CMAKE_PREFIX_PATH; its tools (moc, uic) run on this machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAV_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAV_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAV_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TAV_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAV_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
