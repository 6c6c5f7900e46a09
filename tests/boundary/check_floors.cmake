# The layers of the product point down only. From the bottom floor up:
#   platform < util < the SQL analyser < the agent < the cursor library
#   < the worker proxy < the core < the XA switch and dispenser
#   < the top of the two driver libraries
# and each floor is a folder (the table below). Checked on the source tree
# and on the built static libraries:
# - a file includes no file of a higher floor, however the include is
#   written (from the include paths or relative, "../scrs/x.h") and
#   whatever the including file is (an .inc as much as a .cpp);
# - the core (and what stands above it) includes from the cursor library
#   its one door, scrs/scrcore.h, and nothing else;
# - no library references a symbol that only a library of a higher floor
#   defines;
# - every folder under libsrc/ has its floor in the table.
# Run with -DSOURCE_DIR=<tree> -DNM=<nm> -DLIBS=<floor>=<library.a>,...
# (floors as below).
cmake_policy(VERSION 3.20)
set(floors platform util sqlan agent scrs proxy core switch library)
# Folder=floor; a file stands on the floor of the deepest folder holding it
# (driver/rowset under driver).
set(folder_floors
  libsrc/platform=platform
  libsrc/util=util
  libsrc/sqlan=sqlan
  libsrc/drv_jdbc=agent
  libsrc/scrs=scrs
  libsrc/proxy=proxy
  driver=core
  xa=switch
  shlib=library)
set(door libsrc/scrs/scrcore.h)
list(FIND floors core core_level)
set(failures "")

# The floor of a file (relative to SOURCE_DIR), or "" for one outside the
# product's folders.
function(floor_of rel out)
  set(floor "")
  set(depth 0)
  foreach(entry IN LISTS folder_floors)
    string(REGEX MATCH "^([^=]+)=(.*)$" _ "${entry}")
    set(folder "${CMAKE_MATCH_1}")
    set(its_floor "${CMAKE_MATCH_2}")
    string(LENGTH "${folder}" length)
    string(FIND "${rel}" "${folder}/" at)
    if(at EQUAL 0 AND length GREATER depth)
      set(floor "${its_floor}")
      set(depth ${length})
    endif()
  endforeach()
  set(${out} "${floor}" PARENT_SCOPE)
endfunction()

# The file of the tree an include names, as the compiler finds it: a quoted
# name first beside the including file, then under libsrc/ and the root (the
# include paths); "" for anything else (system and generated headers).
function(resolve_include form name dir out)
  set(found "")
  set(first "libsrc/")
  if(form STREQUAL "\"")
    set(first "${dir}/")
  endif()
  if(NOT IS_ABSOLUTE "${name}")
    foreach(base "${first}" "libsrc/" "")
      set(path "${base}${name}")
      cmake_path(NORMAL_PATH path)
      if(NOT path MATCHES "^\\.\\./" AND EXISTS "${SOURCE_DIR}/${path}"
         AND NOT IS_DIRECTORY "${SOURCE_DIR}/${path}")
        set(found "${path}")
        break()
      endif()
    endforeach()
  endif()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

file(GLOB libsrc_dirs LIST_DIRECTORIES true RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/libsrc/*")
foreach(folder IN LISTS libsrc_dirs)
  floor_of("${folder}/" floor)
  if(IS_DIRECTORY "${SOURCE_DIR}/${folder}" AND floor STREQUAL "")
    string(APPEND failures "${folder} has no floor in the table\n")
  endif()
endforeach()

# Every file of the product's folders but their build files.
set(sources "")
foreach(entry IN LISTS folder_floors)
  string(REGEX REPLACE "=.*" "" folder "${entry}")
  file(GLOB_RECURSE found RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${folder}/*")
  list(APPEND sources ${found})
endforeach()
list(REMOVE_DUPLICATES sources)
list(FILTER sources EXCLUDE REGEX "(^|/)CMakeLists\\.txt$|\\.(cmake|map)$")
# The include directives of a file as the preprocessor reads them: a
# directive continued over lines by a backslash joined, and an include that
# names a macro replaced by the file name the file defines it as.
function(directives path out)
  file(READ "${path}" text)
  string(REGEX REPLACE "\\\\\r?\n" " " text "${text}")
  # Semicolons and brackets would break CMake's lists.
  string(REGEX REPLACE "[][;]" " " text "${text}")
  string(REGEX MATCHALL "[^\n]+" all "${text}")
  set(found "")
  foreach(line IN LISTS all)
    if(line MATCHES "^[ \t]*#[ \t]*define[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]+([<\"][^>\"]*[>\"])")
      set(macro_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
    elseif(line MATCHES "^[ \t]*#[ \t]*include[ \t]*[<\"]")
      list(APPEND found "${line}")
    elseif(line MATCHES "^[ \t]*#[ \t]*include[ \t]+([A-Za-z_][A-Za-z0-9_]*)")
      if(DEFINED macro_${CMAKE_MATCH_1})
        list(APPEND found "#include ${macro_${CMAKE_MATCH_1}}")
      endif()
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

foreach(rel IN LISTS sources)
  floor_of("${rel}" from)
  list(FIND floors ${from} from_level)
  get_filename_component(dir "${rel}" DIRECTORY)
  directives("${SOURCE_DIR}/${rel}" lines)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]*)[>\"].*" "\\1;\\2" include "${line}")
    list(GET include 0 form)
    list(GET include 1 name)
    resolve_include("${form}" "${name}" "${dir}" target)
    floor_of("${target}" to)
    if(to STREQUAL "")
      continue()
    endif()
    list(FIND floors ${to} to_level)
    if(to_level GREATER from_level)
      string(APPEND failures "${rel} (${from}) includes ${target} (${to}): ${line}\n")
    elseif(to STREQUAL "scrs" AND NOT target STREQUAL door AND from_level GREATER_EQUAL core_level)
      string(APPEND failures "${rel} (${from}) includes ${target}, not the door ${door}\n")
    endif()
  endforeach()
endforeach()

# Symbols: nm's posix format, one "<archive>[<member>]: <name> <type> ..."
# line per symbol, names left mangled (they are plain identifiers). The
# lowest floor that defines a name is kept in def_<name>.
function(nm_lines lib options out)
  execute_process(COMMAND "${NM}" -A --format=posix ${options} "${lib}"
    OUTPUT_VARIABLE text RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${lib}: ${err}")
  endif()
  # Brackets would keep CMake from splitting the list.
  string(REPLACE "[" "(" text "${text}")
  string(REPLACE "]" ")" text "${text}")
  string(REGEX MATCHALL "[^\n]+" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

string(REPLACE "," ";" libs "${LIBS}")
set(checked "")
foreach(floor IN LISTS floors)
  foreach(entry IN LISTS libs)
    if(NOT entry MATCHES "^${floor}=(.*)$")
      continue()
    endif()
    set(lib "${CMAKE_MATCH_1}")
    list(APPEND checked "${floor}=${lib}")
    nm_lines("${lib}" "--defined-only;--extern-only" defined)
    foreach(line IN LISTS defined)
      if(line MATCHES "^[^ ]+ ([^ ]+) [A-Za-z]")
        # Arguments are expanded before the match: test the name apart.
        set(name "${CMAKE_MATCH_1}")
        if(NOT DEFINED "def_${name}")
          set("def_${name}" ${floor})
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()
list(LENGTH checked nchecked)
list(LENGTH libs nlibs)
if(NOT nchecked EQUAL nlibs)
  message(FATAL_ERROR "libraries of no known floor among: ${LIBS}")
endif()

find_program(CXXFILT c++filt)
foreach(entry IN LISTS checked)
  string(REGEX MATCH "^([^=]+)=(.*)$" _ "${entry}")
  set(floor "${CMAKE_MATCH_1}")
  set(lib "${CMAKE_MATCH_2}")
  list(FIND floors ${floor} level)
  nm_lines("${lib}" "--undefined-only" undefined)
  foreach(line IN LISTS undefined)
    if(NOT line MATCHES "^([^ ]+): ([^ ]+) U")
      continue()
    endif()
    set(member "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    if(NOT DEFINED "def_${name}")
      continue()
    endif()
    set(owner "${def_${name}}")
    list(FIND floors ${owner} owner_level)
    if(owner_level GREATER level)
      if(CXXFILT)
        execute_process(COMMAND "${CXXFILT}" "${name}" OUTPUT_VARIABLE name
          OUTPUT_STRIP_TRAILING_WHITESPACE)
      endif()
      get_filename_component(member "${member}" NAME)
      string(APPEND failures "${member} (${floor}) references ${name}, defined by ${owner}\n")
    endif()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "a layer points up:\n${failures}")
endif()
