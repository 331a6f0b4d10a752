# What a Mac would see of the module file, read here with llvm-objdump:
#   - a 64-bit x86-64 Mach-O dylib for macOS, built for MIN_VERSION;
#   - exports exactly _c4d_main, _g_maxon, _g_CpuYieldDelegate;
#   - links libSystem and libc++ only, and binds exactly the symbols listed in IMPORTS;
#   - its static initialisers start with the plug-in's own units in the order the host's framework
#     expects: the command's unit, the interface registrations, the registration unit, main.
#   cmake -DMODULE=<file> -DOBJDUMP=<llvm-objdump> -DMIN_VERSION=11.0 -DIMPORTS=<list>
#         -P module_check.cmake
set(failures)
macro(fail text)
  list(APPEND failures "${text}")
endmacro()

function(objdump out)
  execute_process(COMMAND ${OBJDUMP} --macho ${ARGN} ${MODULE}
                  OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "llvm-objdump ${ARGN} failed on ${MODULE}: ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Header: magic, CPU and file type.
objdump(header --private-header)
if(NOT header MATCHES "\nMH_MAGIC_64 +X86_64 +ALL +0x[0-9a-f]+ +DYLIB ")
  message(FATAL_ERROR "${MODULE} is not a 64-bit x86_64 Mach-O dylib:\n${header}")
endif()

# Platform and minimum OS version.
objdump(commands --private-headers)
string(REGEX MATCH "cmd LC_BUILD_VERSION\n[^\n]*\n *platform ([^\n]+)\n *sdk ([^\n]+)\n *minos ([^\n]+)"
       build "${commands}")
if(NOT build)
  fail("no LC_BUILD_VERSION load command")
elseif(NOT CMAKE_MATCH_1 STREQUAL "macos" OR NOT CMAKE_MATCH_3 STREQUAL "${MIN_VERSION}")
  fail("built for ${CMAKE_MATCH_1} ${CMAKE_MATCH_3}, expected macos ${MIN_VERSION}")
endif()

# Exports.
objdump(trie --exports-trie)
string(REGEX MATCHALL "\n0x[0-9A-Fa-f]+ +[^\n]+" entries "${trie}")
set(exports)
foreach(entry ${entries})
  string(REGEX REPLACE "^\n0x[0-9A-Fa-f]+ +" "" name "${entry}")
  list(APPEND exports "${name}")
endforeach()
list(SORT exports)
if(NOT exports STREQUAL "_c4d_main;_g_CpuYieldDelegate;_g_maxon")
  fail("exports '${exports}', expected '_c4d_main;_g_CpuYieldDelegate;_g_maxon'")
endif()

# Linked libraries (the file's own id line comes first and is not a dependency).
objdump(dylibs --dylibs-used)
string(REGEX MATCHALL "\n\t[^ \n]+" names "${dylibs}")
list(TRANSFORM names REPLACE "^\n\t" "")
list(REMOVE_AT names 0)
list(SORT names)
if(NOT names STREQUAL "/usr/lib/libSystem.B.dylib;/usr/lib/libc++.1.dylib")
  fail("links '${names}', expected libSystem and libc++ only")
endif()

# Imports: every bound symbol with its library, whichever table binds it.
objdump(binds --bind --lazy-bind --weak-bind)
string(REGEX MATCHALL "\n[^\n]+" lines "${binds}")
set(imports)
foreach(line ${lines})
  if(line MATCHES "^\n__[A-Z_]+ +[_a-z]+ +0x[0-9A-Fa-f]+ +(pointer +-?[0-9]+ +)?([^ ]+) +([^ ]+)$")
    list(APPEND imports "${CMAKE_MATCH_2} ${CMAKE_MATCH_3}")
  elseif(line MATCHES "^\n__")
    fail("unread bind line: ${line}")
  endif()
endforeach()
list(REMOVE_DUPLICATES imports)
list(SORT imports)
file(STRINGS ${IMPORTS} expected REGEX "^[^#]")
list(SORT expected)
if(NOT imports STREQUAL expected)
  set(extra ${imports})
  list(REMOVE_ITEM extra ${expected})
  set(missing ${expected})
  list(REMOVE_ITEM missing ${imports})
  list(JOIN extra ", " extra)
  list(JOIN missing ", " missing)
  fail("imports differ from ${IMPORTS}: unexpected '${extra}', absent '${missing}'")
endif()

# Static initialisers: the order dyld runs them in is the order of __mod_init_func.
objdump(inits --section=__DATA_CONST,__mod_init_func)
string(REGEX MATCHALL "__GLOBAL__sub_I_[^\n]+" initialisers "${inits}")
list(TRANSFORM initialisers REPLACE "^__GLOBAL__sub_I_" "")
set(own)
foreach(unit ${initialisers})
  if(unit MATCHES "^(facetmender|interface_registration|register|main)\\.cpp$")
    list(APPEND own ${unit})
  endif()
endforeach()
# The framework layers have registration units named "register.cpp" too; they come later.
list(SUBLIST own 0 4 first)
if(NOT first STREQUAL "facetmender.cpp;interface_registration.cpp;register.cpp;main.cpp")
  list(JOIN own ", " ownText)
  fail("the plug-in's initialisers run as '${ownText}'")
endif()
list(LENGTH initialisers count)
list(LENGTH own ownCount)
if(ownCount LESS 4)
  fail("only ${ownCount} of the plug-in's units have an initialiser (${count} in all)")
endif()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "${MODULE}:\n${text}")
endif()
message(STATUS "${MODULE}: Mach-O x86_64 dylib for macos ${MIN_VERSION}, exports and "
               "${count} initialisers as expected")
