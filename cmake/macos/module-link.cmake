# The macOS module file is a dylib linked by ld64.lld: against libSystem's stubs and against a
# stub of our own for libc++ that lists exactly the C++ runtime symbols the module may import, so
# an unexpected import fails the link instead of reaching an artist's machine.
set(CMAKE_CXX_CREATE_SHARED_MODULE
  "${FM_MACOS_LINKER} -dylib -arch x86_64 -platform_version macos ${FM_MACOS_MIN_VERSION} ${FM_MACOS_MIN_VERSION} <LINK_FLAGS> <OBJECTS> -o <TARGET> <LINK_LIBRARIES>")
set(FM_MACOS_LIBCXX_STUB ${CMAKE_CURRENT_LIST_DIR}/libc++.tbd)
set(FM_MACOS_EXPORTS ${CMAKE_CURRENT_LIST_DIR}/exports.txt)
