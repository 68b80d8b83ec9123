# Runs the suites that touch the database a second time on PostgreSQL: the
# same programs, with BRIVOS_DATABASE_URL naming a private cluster that the
# fixture brivos_pg starts (initdb in the build directory, a Unix socket, no
# TCP port) and stops. Without PostgreSQL 15 installed, or a library built
# without libpq, the second run is left out with one line saying so.
set(BRIVOS_PG_BIN /usr/lib/postgresql/15/bin)
set(BRIVOS_PG_DIR ${CMAKE_BINARY_DIR}/pg)
set(BRIVOS_PG_TESTS OFF)
if(PostgreSQL_FOUND AND EXISTS ${BRIVOS_PG_BIN}/initdb)
  set(BRIVOS_PG_TESTS ON)
  set(BRIVOS_PG_URL "postgresql:///brivos?host=${BRIVOS_PG_DIR}&user=brivos")
  add_test(NAME pg.cluster.start
           COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/pg-cluster.sh restart ${BRIVOS_PG_DIR})
  add_test(NAME pg.cluster.stop
           COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/pg-cluster.sh stop ${BRIVOS_PG_DIR})
  set_tests_properties(pg.cluster.start PROPERTIES FIXTURES_SETUP brivos_pg LABELS postgresql)
  set_tests_properties(pg.cluster.stop PROPERTIES FIXTURES_CLEANUP brivos_pg LABELS postgresql)
else()
  message(STATUS "PostgreSQL 15 or libpq is not installed: the suites run on SQLite only")
endif()

# The tests of each program that run on PostgreSQL too. A program not named
# here, and a test left out below, looks at SQLite itself: the file and its
# pragmas, query plans, triggers in SQLite's syntax, a connection of its own.
set(BRIVOS_PG_FILTER_account "*")
set(BRIVOS_PG_FILTER_app "*")
set(BRIVOS_PG_FILTER_clients "*")
set(BRIVOS_PG_FILTER_invoicing "*")
set(BRIVOS_PG_FILTER_projects "*")
set(BRIVOS_PG_FILTER_security "*")
set(BRIVOS_PG_FILTER_users "*:-ExpenseReportTest.DeleteRemovesTheReportWithItsExpensesAllOrNothing")
set(BRIVOS_PG_FILTER_records "*:-AccountRecordsTest.ProvisioningWritesSubscriberLocationAndMainUser:\
AccountRecordsTest.AnySqliteClientInsertsStampedRows:\
ExpenseInvoiceRecordsTest.EveryTableExistsAndItsRecordClassIsNotCreatable:\
ProjectRecordsTest.FilteredColumnsAreIndexed:QueryPlanTest.*")
set(BRIVOS_PG_FILTER_database "PostgreSQL.*:InvoiceTest.*:ReportStatementTest.*:\
-ReportStatementTest.ReadsAndWritesOfTheAccountsOwnTablesRun")

function(brivos_postgresql_tests name)
  if(NOT BRIVOS_PG_TESTS OR NOT DEFINED BRIVOS_PG_FILTER_${name})
    return()
  endif()
  gtest_discover_tests(${name}_tests TEST_PREFIX "pg." TEST_FILTER "${BRIVOS_PG_FILTER_${name}}"
                       DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 LABELS postgresql FIXTURES_REQUIRED brivos_pg
                       ENVIRONMENT "BRIVOS_DATABASE_URL=${BRIVOS_PG_URL}")
endfunction()
