# Runs the suites that touch the database a second time on PostgreSQL: the
# same programs and scripts, with BRIVOS_DATABASE_URL naming a private cluster
# that the fixture brivos_pg starts and stops (scripts/pg-cluster.sh: initdb,
# a Unix socket, no TCP port). Without PostgreSQL 15 installed, or a library
# built without libpq, the second run is left out with one line saying so.
#
# The cluster lives in /tmp, not in the build directory: as root its server
# runs as the user postgres, who cannot enter a checkout under /root or in a
# private temporary folder. Its folder is named after the build directory, so
# that the URI is known here, when the tests are registered, and two builds
# never share a cluster; the name is short, for a socket path fits in 107 bytes.
set(BRIVOS_PG_BIN /usr/lib/postgresql/15/bin)
string(SHA256 build_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${build_hash}" 0 12 build_hash)
set(BRIVOS_PG_DIR /tmp/brivos-pg-${build_hash})
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
