# What `cmake --install` puts in place: the library as a shared object, its
# public headers, a CMake package (find_package(brivos) and brivos::brivos),
# a pkg-config file and the brivos program.
#
# The installed library is shared rather than the archive the build's own
# programs link: every class registers itself when its object file is loaded,
# and a shared object is loaded whole, so a program that links it by name
# finds every class with no whole-archive flag in its link line; and the
# library's own dependencies (SQLite, a backend's client library) stay private
# to it, so neither the CMake package nor the pkg-config file has to name them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

add_library(brivos_shared SHARED)
foreach(layer ${BRIVOS_LAYERS})
  # Without interposition a position-independent object keeps the code of a
  # position-independent executable: calls within a file stay direct.
  set_target_properties(brivos_${layer} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_compile_options(brivos_${layer} PRIVATE -fno-semantic-interposition)
  # Linked directly, each layer gives its object files and its own link
  # dependencies.
  target_link_libraries(brivos_shared PRIVATE brivos_${layer})
endforeach()
target_link_libraries(brivos_shared PRIVATE Threads::Threads)
target_include_directories(brivos_shared
                           INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(brivos_shared INTERFACE cxx_std_20)
# Before 1.0 a minor version may change the binary interface.
set_target_properties(brivos_shared PROPERTIES
  OUTPUT_NAME brivos EXPORT_NAME brivos
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})

install(TARGETS brivos_shared EXPORT brivosTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The headers of the public contract: everything but each folder's internal/
# helpers and the backends behind the database seam.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/brivos/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/brivos
        FILES_MATCHING PATTERN "*.hpp"
        PATTERN internal EXCLUDE PATTERN sqlite EXCLUDE PATTERN postgresql EXCLUDE)

set(BRIVOS_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/brivos)
install(EXPORT brivosTargets NAMESPACE brivos:: DESTINATION ${BRIVOS_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/brivosConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/brivosConfig.cmake
                              INSTALL_DESTINATION ${BRIVOS_CMAKE_DIR})
# 0.1 and 0.1.x are compatible; 0.2 is not.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/brivosConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/brivosConfig.cmake
              ${PROJECT_BINARY_DIR}/brivosConfigVersion.cmake
        DESTINATION ${BRIVOS_CMAKE_DIR})

# The pkg-config file names its prefix relative to itself, so an installed
# tree can be moved (or staged under DESTDIR) and still be found.
set(BRIVOS_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH BRIVOS_PKGCONFIG_TO_PREFIX /${BRIVOS_PKGCONFIG_DIR} /)
string(REGEX REPLACE "/$" "" BRIVOS_PKGCONFIG_TO_PREFIX "${BRIVOS_PKGCONFIG_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/brivos.pc.in ${PROJECT_BINARY_DIR}/brivos.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/brivos.pc DESTINATION ${BRIVOS_PKGCONFIG_DIR})

# The program links the library's archive: it runs wherever it is put.
if(TARGET brivos_cli)
  install(TARGETS brivos_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
