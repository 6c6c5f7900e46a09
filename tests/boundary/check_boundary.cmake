# The boundary between the driver core and the agent, checked on the source
# tree and on the built core:
# - nothing under libsrc/ includes from driver/;
# - the core's objects reference no agent function by name (AGT_*) and no
#   process-wide block of the agent: the core reaches the agent through its
#   operation table and the connect information only.
# Run with -DSOURCE_DIR=<tree> -DCORE_LIB=<libqmr_driver_core.a> -DNM=<nm>.
set(failures "")

file(GLOB_RECURSE sources "${SOURCE_DIR}/libsrc/*")
foreach(file IN LISTS sources)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]driver/")
  foreach(line IN LISTS lines)
    file(RELATIVE_PATH rel "${SOURCE_DIR}" "${file}")
    string(APPEND failures "${rel} includes from driver/: ${line}\n")
  endforeach()
endforeach()

execute_process(COMMAND "${NM}" --undefined-only --demangle --format=posix "${CORE_LIB}"
  OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_rc ERROR_VARIABLE nm_err)
if(NOT nm_rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${CORE_LIB}: ${nm_err}")
endif()
# posix format: one "<name> U" line per reference, the name demangled. The
# output is matched as one text: demangled names may hold list separators.
string(REGEX MATCHALL "(^|\n)(AGT_[A-Za-z0-9_]*|ConnSettings)(\\([^\n]*\\))? U" hits
  "${symbols}")
foreach(hit IN LISTS hits)
  string(STRIP "${hit}" hit)
  string(APPEND failures "the core references the agent's ${hit}\n")
endforeach()

if(failures)
  message(FATAL_ERROR "core/agent boundary crossed:\n${failures}")
endif()
