# Builds for 32-bit x86 on a 64-bit Debian with multiarch: the scanner as it
# is deployed, beside 32-bit hosts. Needs g++-multilib and qt6-base-dev:i386.
# The host's own compiler and Qt tools (moc) are used; only the target is 32-bit.
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# Look for libraries and CMake packages of the 32-bit architecture only.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)
# pkg-config answers for the 32-bit architecture too (libseccomp).
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
