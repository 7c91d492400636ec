# Cross-compiles for 64-bit Windows with Debian's MinGW-w64. The posix
# thread model, because the program uses std::thread, std::mutex and
# std::future, which the win32 model of GCC 12 lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUIRALTO_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUIRALTO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUIRALTO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUIRALTO_MINGW_TRIPLET}-windres)

# Libraries and packages come from the MinGW root and from the Windows
# builds named in CMAKE_PREFIX_PATH (Qt, FluidSynth); without the latter in
# the find root, find_package() would look under the MinGW root only.
set(CMAKE_FIND_ROOT_PATH /usr/${QUIRALTO_MINGW_TRIPLET})
list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
