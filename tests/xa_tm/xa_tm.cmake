# The transaction manager's tests load the driver with dlopen, so they link
# neither the driver nor a Driver Manager. One process, one Java VM: the
# cases of an executable run in one process.
if(TARGET xbifxu)
  add_executable(xa_tm_tests ${CMAKE_CURRENT_LIST_DIR}/switch_test.cpp)
  target_link_libraries(xa_tm_tests PRIVATE GTest::gtest GTest::gtest_main Threads::Threads
    ${CMAKE_DL_LIBS})
  target_include_directories(xa_tm_tests PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/libsrc
    ${QMR_ODBC_INCLUDE_DIR})
  target_compile_definitions(xa_tm_tests PRIVATE QMR_BUILD_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(xa_tm_tests xbifxu)
  add_test(NAME xa_tm_tests COMMAND xa_tm_tests)
  set_tests_properties(xa_tm_tests PROPERTIES LABELS jvm ENVIRONMENT "${QMR_ODBC_ENV}"
    TIMEOUT 300)
endif()

# The same manager over PostgreSQL and Derby, on the throw-away server.
if(TARGET xbifxu AND TEST pg_start)
  add_executable(xa_tm_child ${CMAKE_CURRENT_LIST_DIR}/xa_child.cpp)
  target_link_libraries(xa_tm_child PRIVATE ${CMAKE_DL_LIBS})
  target_include_directories(xa_tm_child PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/libsrc
    ${QMR_ODBC_INCLUDE_DIR})
  target_compile_definitions(xa_tm_child PRIVATE QMR_BUILD_DIR="${CMAKE_BINARY_DIR}")
  add_executable(xa_tm_pg_tests ${CMAKE_CURRENT_LIST_DIR}/xa_pg_test.cpp)
  target_link_libraries(xa_tm_pg_tests PRIVATE GTest::gtest GTest::gtest_main Threads::Threads
    ${CMAKE_DL_LIBS})
  target_include_directories(xa_tm_pg_tests PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/libsrc
    ${QMR_ODBC_INCLUDE_DIR})
  target_compile_definitions(xa_tm_pg_tests PRIVATE QMR_BUILD_DIR="${CMAKE_BINARY_DIR}"
    QMR_XA_CHILD="$<TARGET_FILE:xa_tm_child>")
  add_dependencies(xa_tm_pg_tests xbifxu xa_tm_child qmr_test_procs)
  add_test(NAME xa_tm_pg_tests COMMAND xa_tm_pg_tests)
  qmr_pg_test(xa_tm_pg_tests)
endif()
