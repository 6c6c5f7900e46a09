# The stand-in of the coordinator's helper library, and the enlistment
# tests that drive it through the Driver Manager. The driver loads the
# library by name; the tests link it, so the loader finds it loaded.
if(TARGET xbifxu AND TEST pg_start AND QMR_ODBC_LIB)
  add_library(xolehlp SHARED ${CMAKE_CURRENT_LIST_DIR}/xolehlp_standin.cpp)
  target_include_directories(xolehlp PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/libsrc)
  target_link_libraries(xolehlp PRIVATE Threads::Threads ${CMAKE_DL_LIBS})
  set_target_properties(xolehlp PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testlib)

  add_executable(dtc_pg_tests ${CMAKE_CURRENT_LIST_DIR}/dtc_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../support/dm_session.cpp)
  target_link_libraries(dtc_pg_tests PRIVATE xolehlp ${QMR_ODBC_LIB} GTest::gtest
    GTest::gtest_main Threads::Threads)
  target_include_directories(dtc_pg_tests PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/libsrc
    ${QMR_ODBC_INCLUDE_DIR})
  add_dependencies(dtc_pg_tests xbifxu)
  add_test(NAME dtc_pg_tests COMMAND dtc_pg_tests)
  qmr_pg_test(dtc_pg_tests)
endif()
