# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads,
# which Qt needs for std::thread), against a static Qt built for Windows.
#
#   cmake -S . -B build-windows -G Ninja \
#       -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#       [-DKESTRUNE_QT_WINDOWS_PREFIX=/path/to/qt]
#
# The Qt prefix comes from that cache variable, else from the environment
# variable of the same name, else from the cache scripts/windows.sh builds it
# into. The host Qt tools (moc, rcc, uic) are Debian's, in /usr.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRUNE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTRUNE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRUNE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRUNE_MINGW_TRIPLE}-windres)

# Where Qt for Windows is installed.
if(NOT KESTRUNE_QT_WINDOWS_PREFIX)
    if(DEFINED ENV{KESTRUNE_QT_WINDOWS_PREFIX} AND NOT "$ENV{KESTRUNE_QT_WINDOWS_PREFIX}" STREQUAL "")
        set(_kestrune_qt_prefix "$ENV{KESTRUNE_QT_WINDOWS_PREFIX}")
    else()
        if(DEFINED ENV{KESTRUNE_CACHE} AND NOT "$ENV{KESTRUNE_CACHE}" STREQUAL "")
            set(_kestrune_cache "$ENV{KESTRUNE_CACHE}")
        else()
            set(_kestrune_cache "$ENV{HOME}/.cache/kestrune")
        endif()
        set(_kestrune_qt_prefix "${_kestrune_cache}/qt6-mingw-6.4.2")
    endif()
    set(KESTRUNE_QT_WINDOWS_PREFIX "${_kestrune_qt_prefix}" CACHE PATH
        "Qt built for Windows (x86_64-w64-mingw32)")
endif()
# try_compile() projects read this file again; hand them the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KESTRUNE_QT_WINDOWS_PREFIX)

# The target's headers and libraries, and Qt; programs are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRUNE_MINGW_TRIPLE} "${KESTRUNE_QT_WINDOWS_PREFIX}")
list(APPEND CMAKE_PREFIX_PATH "${KESTRUNE_QT_WINDOWS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A cross-built Qt finds its host tools through QT_HOST_PATH.
if(NOT QT_HOST_PATH)
    set(QT_HOST_PATH /usr CACHE PATH "Host Qt (moc, rcc, uic)")
endif()
if(NOT QT_HOST_PATH_CMAKE_DIR)
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH
        "CMake packages of the host Qt")
endif()

# One self-contained IP.exe: no libgcc_s, libstdc++ or winpthread DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test executables run under Wine when it is installed, through a wrapper
# that gives them a private X session and Wine prefix, or the one
# scripts/windows.sh set up for the whole suite.
find_program(KESTRUNE_WINE NAMES wine)
if(KESTRUNE_WINE)
    get_filename_component(_kestrune_wine_run "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh"
                           ABSOLUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR bash "${_kestrune_wine_run}")
endif()
