# Cross-builds the Windows programs on Debian: Debian's MinGW-w64 (POSIX threads, which std::thread
# needs) against a Qt 6 built for Windows with the same compiler, found under STILWATER_WINDOWS_QT
# (scripts/windows-qt puts it in /opt/qt6-mingw). moc, uic and rcc are the host's own Qt tools.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT DEFINED STILWATER_WINDOWS_QT)
    set(STILWATER_WINDOWS_QT /opt/qt6-mingw)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${STILWATER_WINDOWS_QT})
set(CMAKE_PREFIX_PATH ${STILWATER_WINDOWS_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# The tests run under wine, which CTest starts for each of them.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-qtest)
