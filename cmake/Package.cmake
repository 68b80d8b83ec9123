# The service as an operator runs it (a systemd unit and its configuration
# file), and the Debian package of everything installed: the program, the
# library and its headers, the unit and the configuration.
#
# The package installs where the build was configured to: configure it with
# -DCMAKE_INSTALL_PREFIX=/usr, then `cpack` in the build directory
# (packaging/build-deb.sh does both).
set(BRIVOS_CONF_FILE ${CMAKE_INSTALL_FULL_SYSCONFDIR}/brivos/brivos.conf)
set(BRIVOS_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR}/brivos)
set(BRIVOS_PACKAGING ${PROJECT_BINARY_DIR}/packaging)

# The browser app the service serves at /.
set(BRIVOS_WEB_ROOT_OPTION "")
if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/web)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/web/ DESTINATION ${CMAKE_INSTALL_DATADIR}/brivos/web)
  set(BRIVOS_WEB_ROOT_OPTION " --web-root ${CMAKE_INSTALL_FULL_DATADIR}/brivos/web")
endif()
configure_file(${PROJECT_SOURCE_DIR}/packaging/brivos.service.in
               ${BRIVOS_PACKAGING}/brivos.service @ONLY)
install(FILES ${BRIVOS_PACKAGING}/brivos.service DESTINATION lib/systemd/system)
get_filename_component(conf_dir ${BRIVOS_CONF_FILE} DIRECTORY)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/brivos.conf DESTINATION ${conf_dir}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ)

configure_file(${PROJECT_SOURCE_DIR}/packaging/postinst.in ${BRIVOS_PACKAGING}/postinst @ONLY)
file(WRITE ${BRIVOS_PACKAGING}/conffiles "${BRIVOS_CONF_FILE}\n")
foreach(script prerm postrm triggers)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${script} ${BRIVOS_PACKAGING}/${script} COPYONLY)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brivos)
set(CPACK_PACKAGE_VENDOR BRIVOS)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "time, expense and billing service for professional firms")
set(CPACK_PACKAGE_DESCRIPTION
    "BRIVOS keeps time slips, a live timer, expenses, approvals, clients with their sales taxes, projects with staff rates and invoices for professional-services firms, one database per subscriber firm. The package holds the brivos program, its HTTP service as the systemd unit brivos.service (configured in ${BRIVOS_CONF_FILE}, data in /var/lib/brivos), and the C++ library with its headers, CMake package and pkg-config file.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "BRIVOS maintainers <maintainers@brivos.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The libraries the program and the library link, read from the binaries;
# useradd for the service's user.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The PDF of an invoice is set in DejaVu Sans (Pango finds it through fontconfig).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${BRIVOS_PACKAGING}/conffiles ${BRIVOS_PACKAGING}/postinst ${BRIVOS_PACKAGING}/prerm
    ${BRIVOS_PACKAGING}/postrm ${BRIVOS_PACKAGING}/triggers)
include(CPack)
