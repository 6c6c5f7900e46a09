# A private unixODBC configuration in the build directory: both builds of the
# driver registered with absolute paths, and data sources for HSQLDB in
# memory. Tests find it through ODBCSYSINI/ODBCINI (QMR_ODBC_ENV below).
set(QMR_ODBC_DIR ${CMAKE_BINARY_DIR}/odbc)
set(QMR_DRIVER_U ${CMAKE_BINARY_DIR}/lib/libxbifxu.so)
set(QMR_DRIVER_A ${CMAKE_BINARY_DIR}/lib/libxbifx.so)
set(QMR_HSQLDB_JAR /usr/share/java/hsqldb.jar)
configure_file(${CMAKE_CURRENT_LIST_DIR}/odbcinst.ini.in ${QMR_ODBC_DIR}/odbcinst.ini @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/odbc.ini.in ${QMR_ODBC_DIR}/odbc.ini @ONLY)

# The environment of every test that goes through the Driver Manager.
set(QMR_ODBC_ENV
  "ODBCSYSINI=${QMR_ODBC_DIR}"
  "ODBCINI=${QMR_ODBC_DIR}/odbc.ini"
  "LANG=C.UTF-8"
  "QMR_JVM_OPTS=-Djava.class.path=${QMR_HSQLDB_JAR} -Duser.timezone=UTC -Xcheck:jni"
  "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/testlib"
  "QMR_ODBC_DIR=${QMR_ODBC_DIR}"
  "QMR_BUILD_DIR=${CMAKE_BINARY_DIR}")

find_library(QMR_ODBC_LIB odbc)
if(QMR_ODBC_LIB AND TARGET xbifxu AND TARGET xbifx)
  file(GLOB dm_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
  add_executable(dm_tests ${dm_srcs})
  # Only the Driver Manager: the driver is reached through it, never linked.
  target_link_libraries(dm_tests PRIVATE ${QMR_ODBC_LIB} GTest::gtest GTest::gtest_main
    Threads::Threads)
  target_include_directories(dm_tests PRIVATE ${QMR_ODBC_INCLUDE_DIR})
  add_dependencies(dm_tests xbifxu xbifx)
  if(TARGET uidlg32w)
    add_dependencies(dm_tests uidlg32w)
  endif()
  # One process, one Java VM: the cases run in one process, so plain add_test.
  add_test(NAME dm_tests COMMAND dm_tests)
  set_tests_properties(dm_tests PROPERTIES LABELS jvm ENVIRONMENT "${QMR_ODBC_ENV}"
    TIMEOUT 300)
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
