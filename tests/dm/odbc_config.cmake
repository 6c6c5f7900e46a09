# A private unixODBC configuration in the build directory: both builds of the
# driver registered with absolute paths, and data sources for HSQLDB in
# memory. Tests find it through ODBCSYSINI/ODBCINI (QMR_ODBC_ENV below).
set(QMR_ODBC_DIR ${CMAKE_BINARY_DIR}/odbc)
set(QMR_DRIVER_U ${CMAKE_BINARY_DIR}/lib/libxbifxu.so)
set(QMR_DRIVER_A ${CMAKE_BINARY_DIR}/lib/libxbifx.so)
set(QMR_HSQLDB_JAR /usr/share/java/hsqldb.jar)
# H2 and Derby are embedded too; their data sources sit beside HSQLDB's.
set(QMR_EMBEDDED_JARS ${QMR_HSQLDB_JAR}:/usr/share/java/h2.jar:/usr/share/java/derby.jar)
# Derby's routines are Java methods: the test procedures are compiled into
# the build tree and their directory joins the class path.
set(QMR_TEST_CLASS_DIR ${CMAKE_BINARY_DIR}/testclasses)
set(QMR_TEST_PROCS_SRC ${CMAKE_CURRENT_LIST_DIR}/java/QmrTestProcs.java)
add_custom_command(
  OUTPUT ${QMR_TEST_CLASS_DIR}/QmrTestProcs.class
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QMR_TEST_CLASS_DIR}
  COMMAND ${QMR_JAVAC} --release 8 -nowarn -d ${QMR_TEST_CLASS_DIR} ${QMR_TEST_PROCS_SRC}
  DEPENDS ${QMR_TEST_PROCS_SRC}
  COMMENT "Compiling the Java test procedures"
  VERBATIM)
add_custom_target(qmr_test_procs ALL DEPENDS ${QMR_TEST_CLASS_DIR}/QmrTestProcs.class)
set(QMR_EMBEDDED_JARS ${QMR_EMBEDDED_JARS}:${QMR_TEST_CLASS_DIR})
configure_file(${CMAKE_CURRENT_LIST_DIR}/odbcinst.ini.in ${QMR_ODBC_DIR}/odbcinst.ini @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/odbc.ini.in ${QMR_ODBC_DIR}/odbc.ini @ONLY)

# The environment of every test that goes through the Driver Manager.
set(QMR_ODBC_ENV
  "ODBCSYSINI=${QMR_ODBC_DIR}"
  "ODBCINI=${QMR_ODBC_DIR}/odbc.ini"
  "LANG=C.UTF-8"
  "QMR_JVM_OPTS=-Djava.class.path=${QMR_EMBEDDED_JARS} -Duser.timezone=UTC -Xcheck:jni -Dderby.stream.error.file=/dev/null"
  "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/testlib"
  "QMR_ODBC_DIR=${QMR_ODBC_DIR}"
  "QMR_BUILD_DIR=${CMAKE_BINARY_DIR}")

find_library(QMR_ODBC_LIB odbc)
if(QMR_ODBC_LIB AND TARGET xbifxu AND TARGET xbifx)
  file(GLOB dm_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
  add_executable(dm_tests ${dm_srcs} ${CMAKE_CURRENT_LIST_DIR}/../support/dm_session.cpp)
  # Only the Driver Manager: the driver is reached through it, never linked.
  # qmr_scrs lends its SQL builders alone (text in, text out, no agent): the
  # keyset test runs the statements they build through the Driver Manager.
  target_link_libraries(dm_tests PRIVATE ${QMR_ODBC_LIB} GTest::gtest GTest::gtest_main
    Threads::Threads qmr_scrs)
  target_include_directories(dm_tests PRIVATE ${QMR_ODBC_INCLUDE_DIR})
  add_dependencies(dm_tests xbifxu xbifx qmr_test_procs)
  if(TARGET uidlg32w)
    add_dependencies(dm_tests uidlg32w)
  endif()
  # A process the scroll tests kill while it holds a cursor.
  add_executable(qmr_scroll_child ${CMAKE_CURRENT_LIST_DIR}/child/scroll_child.cpp)
  target_link_libraries(qmr_scroll_child PRIVATE ${QMR_ODBC_LIB})
  target_include_directories(qmr_scroll_child PRIVATE ${QMR_ODBC_INCLUDE_DIR})
  add_dependencies(dm_tests qmr_scroll_child)
  target_compile_definitions(dm_tests PRIVATE QMR_SCROLL_CHILD="$<TARGET_FILE:qmr_scroll_child>")
  # A process whose connects the connect tests watch, standard error included.
  add_executable(qmr_connect_child ${CMAKE_CURRENT_LIST_DIR}/child/connect_child.cpp)
  target_link_libraries(qmr_connect_child PRIVATE ${QMR_ODBC_LIB} Threads::Threads)
  target_include_directories(qmr_connect_child PRIVATE ${QMR_ODBC_INCLUDE_DIR})
  add_dependencies(dm_tests qmr_connect_child)
  target_compile_definitions(dm_tests PRIVATE QMR_CONNECT_CHILD="$<TARGET_FILE:qmr_connect_child>")
  # One process, one Java VM: the cases run in one process, so plain add_test.
  add_test(NAME dm_tests COMMAND dm_tests)
  set_tests_properties(dm_tests PROPERTIES LABELS jvm ENVIRONMENT "${QMR_ODBC_ENV}"
    TIMEOUT 300)
  # Date and time parameters once more with the VM in a zone with daylight
  # saving, where an instant of the VM's zone would move them.
  set(QMR_BERLIN_ENV ${QMR_ODBC_ENV})
  list(TRANSFORM QMR_BERLIN_ENV REPLACE "-Duser.timezone=UTC" "-Duser.timezone=Europe/Berlin")
  add_test(NAME dm_dates_write_berlin COMMAND dm_tests --gtest_filter=DatesWrite*)
  set_tests_properties(dm_dates_write_berlin PROPERTIES LABELS jvm
    ENVIRONMENT "${QMR_BERLIN_ENV}" TIMEOUT 300)

  # A VM option the VM refuses: a process of its own, since its VM never starts.
  add_executable(dm_vmopts_tests ${CMAKE_CURRENT_LIST_DIR}/../dm_vmopts/vmopts_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../support/dm_session.cpp)
  target_link_libraries(dm_vmopts_tests PRIVATE ${QMR_ODBC_LIB} GTest::gtest GTest::gtest_main)
  target_include_directories(dm_vmopts_tests PRIVATE ${QMR_ODBC_INCLUDE_DIR} ${CMAKE_SOURCE_DIR})
  add_dependencies(dm_vmopts_tests xbifxu xbifx)
  add_test(NAME dm_vmopts_tests COMMAND dm_vmopts_tests)
  set(vmopts_env ${QMR_ODBC_ENV})
  list(FILTER vmopts_env EXCLUDE REGEX "^QMR_JVM_OPTS=")
  set_tests_properties(dm_vmopts_tests PROPERTIES LABELS jvm TIMEOUT 120 ENVIRONMENT
    "${vmopts_env};QMR_JVM_OPTS=-Djava.class.path=${QMR_HSQLDB_JAR} -Xss2m -Xbogus")
endif()

# Python applications (pyodbc), isql and iusql. The system's python3 is the
# one Debian's python3-pyodbc belongs to.
find_program(QMR_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(QMR_SYSTEM_PYTHON3 AND TARGET xbifxu AND TARGET xbifx)
  file(GLOB py_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/python/test_*.py)
  foreach(py ${py_tests})
    get_filename_component(stem ${py} NAME_WE)
    add_test(NAME py_${stem} COMMAND ${QMR_SYSTEM_PYTHON3} ${py})
    set_tests_properties(py_${stem} PROPERTIES LABELS jvm ENVIRONMENT "${QMR_ODBC_ENV}"
      TIMEOUT 300)
  endforeach()
endif()

# Tests that run on every embedded database, not only HSQLDB: a Python test
# that names QMR_ALL_BACKENDS in its text, and Driver Manager suites
# instantiated as "AnyBackend" over qmr_test::TestDsns(), run again on H2 and
# on Derby (QMR_DSNS names their data sources). PostgreSQL's twins are made
# in tests/pg/pg.cmake.
function(qmr_backend_env out dsns)
  set(env ${QMR_ODBC_ENV})
  list(APPEND env "QMR_DSNS=${dsns}")
  set(${out} ${env} PARENT_SCOPE)
endfunction()

if(QMR_SYSTEM_PYTHON3 AND TARGET xbifxu AND TARGET xbifx)
  foreach(py ${py_tests})
    file(STRINGS ${py} all_backends REGEX "QMR_ALL_BACKENDS")
    if(all_backends)
      get_filename_component(stem ${py} NAME_WE)
      foreach(be h2 derby)
        if(be STREQUAL "h2")
          qmr_backend_env(be_env "QmrH2U,QmrH2A")
        else()
          qmr_backend_env(be_env "QmrDerbyU,QmrDerbyA")
        endif()
        add_test(NAME py_${stem}_${be} COMMAND ${QMR_SYSTEM_PYTHON3} ${py})
        set_tests_properties(py_${stem}_${be} PROPERTIES LABELS jvm ENVIRONMENT "${be_env}"
          TIMEOUT 300)
      endforeach()
    endif()
  endforeach()
endif()

if(TARGET dm_tests)
  qmr_backend_env(h2_env "QmrH2U,QmrH2A")
  qmr_backend_env(derby_env "QmrDerbyU,QmrDerbyA")
  add_test(NAME dm_tests_h2 COMMAND dm_tests --gtest_filter=AnyBackend*)
  add_test(NAME dm_tests_derby COMMAND dm_tests --gtest_filter=AnyBackend*)
  set_tests_properties(dm_tests_h2 PROPERTIES LABELS jvm ENVIRONMENT "${h2_env}" TIMEOUT 300)
  set_tests_properties(dm_tests_derby PROPERTIES LABELS jvm ENVIRONMENT "${derby_env}"
    TIMEOUT 300)
endif()
