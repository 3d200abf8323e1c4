# Cross-compiling for 64-bit Windows on Debian 12 with mingw-w64, POSIX threads
# (packages g++-mingw-w64-x86-64-posix and mingw-w64-tools).
#
# scripts/windows-sdk builds the Windows SDK with this file (Qt 6.4.2: Core, Gui, Widgets,
# PrintSupport, Test, SerialPort, UiTools; QCustomPlot 2.1.0 as a DLL) and prints its folder. The
# program, or any project, is then configured against the SDK with the same file, moc, rcc and uic
# coming from the host's Qt 6.4.2 (QT_HOST_PATH=/usr):
#
#   sdk=$(scripts/windows-sdk | tail -n1)
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
#         -DCMAKE_PREFIX_PATH="$sdk" -DQT_HOST_PATH=/usr -DCMAKE_BUILD_TYPE=Release
#   cmake --build build-win
#
# Instead of CMAKE_PREFIX_PATH the SDK may be named by -DKORVA_WIN_SDK=<sdk> or the environment
# variable KORVA_WIN_SDK. Every entry of CMAKE_PREFIX_PATH joins the find root path, so packages are
# found only in the SDK and in the mingw-w64 root (/usr/x86_64-w64-mingw32), never among the host's
# Linux libraries. Programs (compilers, perl, host tools) are taken from the host.
#
# The SDK's CMake packages are relocatable: a copy in another folder (an unpacked archive, say)
# works the same way, and so does Qt's own toolchain file, which chain-loads this one:
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE="$sdk/lib/cmake/Qt6/qt.toolchain.cmake" \
#         -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DQT_HOST_PATH=/usr
#
# Running what was built (on Windows, or under wine): the program's folder or PATH must hold the
# DLLs of $sdk/bin (Qt, QCustomPlotQt6.dll and the compiler's run-time: libstdc++-6.dll,
# libgcc_s_seh-1.dll, libwinpthread-1.dll); Qt finds its plug-ins in $sdk/plugins when its DLLs
# are taken from $sdk/bin. The windows platform plug-in draws text with DirectWrite and GDI. The
# offscreen one (QT_QPA_PLATFORM=offscreen) draws it with Qt's own FreeType and knows only the
# font files lying directly in the folder QT_QPA_FONTDIR names (default: lib/fonts of Qt's prefix,
# which the SDK does not have: Qt ships no fonts); under wine, for example,
# QT_QPA_FONTDIR='Z:\usr\share\fonts\truetype\dejavu' (Debian's fonts-dejavu-core).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVA_MINGW_TRIPLET}-windres)

# The SDK: a cache variable, else the environment.
if(NOT KORVA_WIN_SDK AND DEFINED ENV{KORVA_WIN_SDK})
    set(KORVA_WIN_SDK "$ENV{KORVA_WIN_SDK}")
endif()
set(KORVA_WIN_SDK "${KORVA_WIN_SDK}" CACHE PATH "Windows SDK built by scripts/windows-sdk")
# try_compile() projects read this file again; hand them the SDK too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORVA_WIN_SDK)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVA_MINGW_TRIPLET})
if(KORVA_WIN_SDK)
    list(APPEND CMAKE_FIND_ROOT_PATH "${KORVA_WIN_SDK}")
    if(NOT KORVA_WIN_SDK IN_LIST CMAKE_PREFIX_PATH)
        list(APPEND CMAKE_PREFIX_PATH "${KORVA_WIN_SDK}")
    endif()
endif()
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
    if(NOT prefix IN_LIST CMAKE_FIND_ROOT_PATH)
        list(APPEND CMAKE_FIND_ROOT_PATH "${prefix}")
    endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# ONLY, not BOTH: with BOTH, Qt Tools' configuration would pick up the host's LLVM and Clang.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
