# What a Mac would see of the module file, read here with llvm-objdump:
#   - a 64-bit x86-64 Mach-O dylib for macOS, built for MIN_VERSION;
#   - exports exactly _c4d_main, _g_maxon, _g_CpuYieldDelegate;
#   - links libSystem and libc++ only, and binds exactly the symbols listed in IMPORTS;
#   - its static initialisers start with the plug-in's own units in the order the host's framework
#     expects: the command's unit, the interface registrations, the registration unit, main;
#   - its dylib id carries the product's VERSION;
#   - every function keeps a frame pointer (its compact unwind entry is an rbp frame, or refers to
#     DWARF unwind information), and every __eh_frame entry describes a function that starts
#     where the entry says: an entry pointing elsewhere sends the unwinder's DWARF path, and
#     with it exceptions and crash reports, into the wrong code.
#   cmake -DMODULE=<file> -DOBJDUMP=<llvm-objdump> -DDWARFDUMP=<llvm-dwarfdump> -DMIN_VERSION=11.0
#         -DVERSION=1.01.0 -DIMPORTS=<list> -P module_check.cmake
foreach(argument MODULE OBJDUMP DWARFDUMP MIN_VERSION VERSION IMPORTS)
  if("${${argument}}" STREQUAL "")
    message(FATAL_ERROR "module_check.cmake needs -D${argument}=...")
  endif()
endforeach()
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

# The dylib id's version, packed by the linker as x.y.z numbers (1.01.0 reads 1.1.0).
string(REGEX MATCH "cmd LC_ID_DYLIB\n[^\n]*\n[^\n]*\n[^\n]*\n *current version ([0-9.]+)" id "${commands}")
string(REPLACE "." ";" parts "${VERSION}")
set(packed)
foreach(part ${parts})
  math(EXPR part "${part}")
  list(APPEND packed ${part})
endforeach()
list(JOIN packed "." packed)
if(NOT id)
  fail("no LC_ID_DYLIB load command with a current version")
elseif(NOT CMAKE_MATCH_1 STREQUAL packed)
  fail("the dylib id has version ${CMAKE_MATCH_1}, expected ${packed} (${VERSION})")
endif()

# Function starts, as the linker recorded them.
objdump(starts --function-starts)
string(REGEX MATCHALL "\n[0-9a-f]+" starts "${starts}")
list(TRANSFORM starts REPLACE "^\n0*" "")
list(LENGTH starts startCount)
if(startCount EQUAL 0)
  fail("no function starts")
endif()

# Frame pointers: the compact unwind mode (bits 24-27 of an encoding) of every function entry is
# 1 (rbp frame) or 4 (DWARF); 2 and 3 are the frameless kinds, 0 means no unwind information.
objdump(unwind --unwind-info)
string(REGEX MATCHALL "function offset=0x[0-9a-f]+, encoding(\\[[0-9]+\\])?=0x[0-9a-f]+" entries "${unwind}")
list(LENGTH entries unwindCount)
set(frameless)
foreach(entry ${entries})
  string(REGEX MATCH "offset=0x([0-9a-f]+), .*=0x([0-9a-f]+)$" unused "${entry}")
  set(offset ${CMAKE_MATCH_1})
  math(EXPR mode "(0x${CMAKE_MATCH_2} >> 24) & 15")
  if(NOT mode EQUAL 1 AND NOT mode EQUAL 4)
    list(APPEND frameless "0x${offset} (mode ${mode})")
  endif()
endforeach()
if(unwindCount EQUAL 0)
  fail("no compact unwind entries")
elseif(frameless)
  list(LENGTH frameless framelessCount)
  list(SUBLIST frameless 0 5 some)
  list(JOIN some ", " some)
  fail("${framelessCount} of ${unwindCount} unwind entries have no frame pointer: ${some}")
endif()

# __eh_frame: every FDE's first address is a function start.
execute_process(COMMAND ${DWARFDUMP} --eh-frame ${MODULE}
                OUTPUT_VARIABLE frames ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
  fail("llvm-dwarfdump cannot read __eh_frame: ${err}")
endif()
string(REGEX MATCHALL "\n[0-9a-f]+ [0-9a-f]+ [0-9a-f]+ FDE [^\n]*" fdes "${frames}")
list(LENGTH fdes fdeCount)
set(stray)
foreach(fde ${fdes})
  if(NOT fde MATCHES " pc=0*([0-9a-f]*)\\.\\.\\.")
    fail("unread FDE line: ${fde}")
    continue()
  endif()
  set(pc ${CMAKE_MATCH_1})
  list(FIND starts "${pc}" at)
  if(at EQUAL -1)
    list(APPEND stray "0x${pc}")
  endif()
endforeach()
if(stray)
  list(LENGTH stray strayCount)
  list(SUBLIST stray 0 5 some)
  list(JOIN some ", " some)
  fail("${strayCount} of ${fdeCount} __eh_frame entries begin at no function start: ${some}")
endif()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "${MODULE}:\n${text}")
endif()
message(STATUS "${MODULE}: Mach-O x86_64 dylib ${VERSION} for macos ${MIN_VERSION}, exports and "
               "${count} initialisers as expected; ${unwindCount} unwind entries with frame pointers, "
               "${fdeCount} __eh_frame entries at function starts")
