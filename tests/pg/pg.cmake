# Tests against a real server: a throw-away PostgreSQL that the fixture "pg"
# starts (fresh data directory under the build tree, 127.0.0.1, a free port)
# and stops at the end of the run, whatever the tests gave. The start adds the
# data sources QmrPgU and QmrPgA to the generated odbc.ini.
#
# A test runs on PostgreSQL as well as on HSQLDB when it takes its data
# sources from QMR_DSNS (comma-separated; HSQLDB's when unset):
#  - a Python test under tests/python that reads QMR_DSNS gets a twin
#    py_<name>_pg;
#  - Driver Manager test suites instantiated as "Backend" over
#    qmr_test::TestDsns() (tests/support/dsns.h) run again in dm_tests_pg.
# Everything here is labelled "pg"; there is no skipping: a missing server
# fails pg_start with the cause.
set(QMR_PG_DIR ${CMAKE_BINARY_DIR}/pg)
set(QMR_PG_JAR /usr/share/java/postgresql.jar)
set(QMR_PG_SCRIPT ${CMAKE_SOURCE_DIR}/scripts/pg_server.sh)

add_test(NAME pg_start COMMAND sh ${QMR_PG_SCRIPT} start ${QMR_PG_DIR} ${QMR_ODBC_DIR}/odbc.ini)
add_test(NAME pg_stop COMMAND sh ${QMR_PG_SCRIPT} stop ${QMR_PG_DIR})
set_tests_properties(pg_start PROPERTIES FIXTURES_SETUP pg LABELS pg TIMEOUT 180)
set_tests_properties(pg_stop PROPERTIES FIXTURES_CLEANUP pg LABELS pg TIMEOUT 120)

# The Driver Manager environment with PostgreSQL's archive beside HSQLDB's
# and the server's data sources.
set(QMR_PG_ENV ${QMR_ODBC_ENV})
list(FILTER QMR_PG_ENV EXCLUDE REGEX "^QMR_JVM_OPTS=")
list(APPEND QMR_PG_ENV
  "QMR_JVM_OPTS=-Djava.class.path=${QMR_EMBEDDED_JARS}:${QMR_PG_JAR} -Duser.timezone=UTC -Xcheck:jni -Dderby.stream.error.file=/dev/null"
  "QMR_DSNS=QmrPgU,QmrPgA"
  "QMR_PG_PORT_FILE=${QMR_PG_DIR}/port")

# The whole DM suite runs in one of these processes: about 140 s on an idle
# machine, more than 300 s when every core is busy.
function(qmr_pg_test name)
  set_tests_properties(${name} PROPERTIES LABELS "jvm;pg" ENVIRONMENT "${QMR_PG_ENV}"
    FIXTURES_REQUIRED pg TIMEOUT 600)
endfunction()

if(QMR_SYSTEM_PYTHON3 AND TARGET xbifxu AND TARGET xbifx)
  file(GLOB py_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/python/test_*.py)
  foreach(py ${py_tests})
    file(STRINGS ${py} reads_dsns REGEX "QMR_DSNS|QMR_ALL_BACKENDS")
    if(reads_dsns)
      get_filename_component(stem ${py} NAME_WE)
      add_test(NAME py_${stem}_pg COMMAND ${QMR_SYSTEM_PYTHON3} ${py})
      qmr_pg_test(py_${stem}_pg)
    endif()
  endforeach()
endif()

if(TARGET jdbc_block_tests)
  add_test(NAME jdbc_block_tests_pg COMMAND jdbc_block_tests --gtest_filter=BlockFetchPg*)
  qmr_pg_test(jdbc_block_tests_pg)
endif()

if(TARGET jdbc_xa_tests)
  add_test(NAME jdbc_xa_tests_pg COMMAND jdbc_xa_tests --gtest_filter=Pg/*)
  qmr_pg_test(jdbc_xa_tests_pg)
endif()

if(TARGET scrs_rvc_tests)
  add_test(NAME scrs_rvc_tests_pg COMMAND scrs_rvc_tests --gtest_filter=*postgresql*)
  qmr_pg_test(scrs_rvc_tests_pg)
endif()

if(TARGET dm_tests)
  add_test(NAME dm_tests_pg COMMAND dm_tests --gtest_filter=Backend*:AnyBackend*)
  qmr_pg_test(dm_tests_pg)
  add_test(NAME dm_dates_write_berlin_pg COMMAND dm_tests --gtest_filter=DatesWrite*)
  qmr_pg_test(dm_dates_write_berlin_pg)
  set(berlin_pg_env ${QMR_PG_ENV})
  list(TRANSFORM berlin_pg_env REPLACE "-Duser.timezone=UTC" "-Duser.timezone=Europe/Berlin")
  set_tests_properties(dm_dates_write_berlin_pg PROPERTIES ENVIRONMENT "${berlin_pg_env}")
endif()

# Dates and times on every backend with the VM (and the process) in a zone
# with daylight saving; the other tests keep UTC.
if(TARGET dm_tests)
  set(QMR_BERLIN_ENV ${QMR_PG_ENV})
  list(TRANSFORM QMR_BERLIN_ENV REPLACE "-Duser.timezone=UTC" "-Duser.timezone=Europe/Berlin")
  list(APPEND QMR_BERLIN_ENV "TZ=Europe/Berlin")
  add_test(NAME dm_dates_berlin COMMAND dm_tests --gtest_filter=DateRead*)
  qmr_pg_test(dm_dates_berlin)
  set_tests_properties(dm_dates_berlin PROPERTIES ENVIRONMENT "${QMR_BERLIN_ENV}")
endif()

# Both make and drop the one row-version table QMRRVC on the shared server.
if(TARGET dm_tests AND TARGET scrs_rvc_tests)
  set_tests_properties(dm_tests_pg scrs_rvc_tests_pg PROPERTIES RESOURCE_LOCK qmrrvc_pg)
endif()
