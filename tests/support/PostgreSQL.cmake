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
# Read by the functions below wherever they are called (python/ too).
set_property(GLOBAL PROPERTY BRIVOS_PG_TESTS ${BRIVOS_PG_TESTS})
set_property(GLOBAL PROPERTY BRIVOS_PG_URL "${BRIVOS_PG_URL}")

# The tests of each program that run on PostgreSQL too. A program not named
# here, and a test left out below, looks at SQLite itself: the file and its
# pragmas, query plans, triggers in SQLite's syntax, a connection of its own.
set(BRIVOS_PG_FILTER_account "*")
set(BRIVOS_PG_FILTER_app "*")
set(BRIVOS_PG_FILTER_clients "*")
set(BRIVOS_PG_FILTER_invoicing "*")
set(BRIVOS_PG_FILTER_projects "*")
set(BRIVOS_PG_FILTER_reports "*")
set(BRIVOS_PG_FILTER_security "*")
set(BRIVOS_PG_FILTER_users "*:-ExpenseReportTest.DeleteRemovesTheReportWithItsExpensesAllOrNothing")
set(BRIVOS_PG_FILTER_records "*:-AccountRecordsTest.ProvisioningWritesSubscriberLocationAndMainUser:\
AccountRecordsTest.AnySqliteClientInsertsStampedRows:\
ExpenseInvoiceRecordsTest.EveryTableExistsAndItsRecordClassIsNotCreatable:\
ProjectRecordsTest.FilteredColumnsAreIndexed:QueryPlanTest.*")
# The program's suites that provision a firm (the others never open one);
# those of their tests that look at the .mdb file skip themselves there. The
# move of a file into PostgreSQL runs only here, where a cluster is named.
set(BRIVOS_PG_FILTER_tools "CliTest.*:InvoiceCommandTest.*:CliMigrate.*")
set(BRIVOS_PG_FILTER_database "PostgreSQL.*:PgBackendTest.*:InvoiceTest.*:ReportStatementTest.*:\
-ReportStatementTest.ReadsAndWritesOfTheAccountsOwnTablesRun")

# The PostgreSQL run of the gtest program NAME_tests: each test matching
# BRIVOS_PG_FILTER_NAME once more, as pg.Suite.Test.
function(brivos_postgresql_tests name)
  get_property(enabled GLOBAL PROPERTY BRIVOS_PG_TESTS)
  get_property(url GLOBAL PROPERTY BRIVOS_PG_URL)
  if(NOT enabled OR NOT DEFINED BRIVOS_PG_FILTER_${name})
    return()
  endif()
  gtest_discover_tests(${name}_tests TEST_PREFIX "pg." TEST_FILTER "${BRIVOS_PG_FILTER_${name}}"
                       DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 LABELS postgresql FIXTURES_REQUIRED brivos_pg
                       ENVIRONMENT "BRIVOS_DATABASE_URL=${url}")
endfunction()

# brivos_add_test(NAME COMMAND <command>... [ENVIRONMENT <var>=<value>...]
#                 [PROPERTIES <property> <value>...] [POSTGRESQL])
#
# add_test and set_tests_properties in one; with POSTGRESQL, and the cluster
# on, the same command runs a second time as pg.NAME, on PostgreSQL, in the
# folder pg/ of the first one's working directory. A test given POSTGRESQL
# provisions each firm under a data directory of its own (brivos init
# --db-dir, or an Account path): a firm's schema is named after its account
# number and that directory, so the two runs, and the tests run at the same
# time, never meet.
function(brivos_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "POSTGRESQL" "" "COMMAND;ENVIRONMENT;PROPERTIES")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_COMMAND)
    message(FATAL_ERROR "brivos_add_test(${name}): NAME COMMAND... [ENVIRONMENT...] "
                        "[PROPERTIES...] [POSTGRESQL], not ${arg_UNPARSED_ARGUMENTS}")
  endif()
  set(names ${name})
  get_property(enabled GLOBAL PROPERTY BRIVOS_PG_TESTS)
  if(arg_POSTGRESQL AND enabled)
    list(APPEND names pg.${name})
  endif()
  foreach(test ${names})
    add_test(NAME ${test} COMMAND ${arg_COMMAND})
    if(arg_PROPERTIES)
      set_tests_properties(${test} PROPERTIES ${arg_PROPERTIES})
    endif()
    if(arg_ENVIRONMENT)
      set_property(TEST ${test} PROPERTY ENVIRONMENT ${arg_ENVIRONMENT})
    endif()
  endforeach()
  if(pg.${name} IN_LIST names)
    # What the test leaves in its working directory goes to pg/ below it.
    get_test_property(${name} WORKING_DIRECTORY where)
    if(NOT where)
      set(where ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    file(MAKE_DIRECTORY ${where}/pg)
    set_property(TEST pg.${name} PROPERTY WORKING_DIRECTORY ${where}/pg)
    get_property(url GLOBAL PROPERTY BRIVOS_PG_URL)
    set_property(TEST pg.${name} APPEND PROPERTY ENVIRONMENT "BRIVOS_DATABASE_URL=${url}")
    set_property(TEST pg.${name} APPEND PROPERTY LABELS postgresql)
    set_property(TEST pg.${name} APPEND PROPERTY FIXTURES_REQUIRED brivos_pg)
  endif()
endfunction()
