# How Plotvane is installed and packaged, and the target a program links.
# <libdir> is lib/<multiarch triplet> where the compiler names one (see
# cmake/Plotvane.cmake), else lib.
#
#   bin/plotvane                               the command
#   <libdir>/libplotvane_host.so.<version>     reading forms
#   <libdir>/libplotvane_server.so.<version>   the chart server
#   <libdir>/plotvane/*.bpl                    the component package and the eight
#                                              host-platform packages it requires,
#                                              under the names its manifest gives
#   include/plotvane/{component,contracts,platform,package,host,server}/...
#                                              the public headers, by the same path
#                                              as in the source tree: a program
#                                              includes <plotvane/host/FormClasses.h>
#   include/plotvane/PlotvaneVersion.h         the version, <plotvane/PlotvaneVersion.h>
#   include/plotvane/tools/FormClasses.h       the old spelling of host/FormClasses.h,
#                                              forwarding to it, kept for one release
#   <libdir>/cmake/Plotvane/, <libdir>/pkgconfig/plotvane.pc
#                                              both put include/ and, for one release
#                                              more, include/plotvane on the include
#                                              path: the old spelling
#                                              "component/Norq_Plotvane.h" still works
#   share/plotvane/examples/                   the sample form and its database
#   share/doc/plotvane/, .../docs/             README.md and the pages of docs/
#   share/man/man1/plotvane.1.gz               the manual page
#   lib/systemd/system/plotvane@.service       the unit, naming bin/plotvane of the prefix
#   etc/default/plotvane                       its flags (/etc/default for the prefix /usr)
#
# Every binary finds the others through a RUNPATH relative to $ORIGIN, so an
# installed tree keeps working when it is moved to another folder. The
# component package finds the packages it requires in its own folder
# (platform/rtl/PackageLoader), so they stay together in <libdir>/plotvane.

# Plotvane::Plotvane: the component (the package VCL_Norq_Plotvane, with the
# platform packages it requires), the host library that reads stored forms
# and the chart server: everything a program needs to render and serve
# charts.
add_library(plotvane_all INTERFACE)
add_library(Plotvane::Plotvane ALIAS plotvane_all)
target_link_libraries(plotvane_all INTERFACE Plotvane::package Plotvane::host Plotvane::server)
target_compile_features(plotvane_all INTERFACE cxx_std_20)
set_target_properties(plotvane_all PROPERTIES EXPORT_NAME Plotvane)

if(NOT PLOTVANE_INSTALL)
  return()
endif()

include(CMakePackageConfigHelpers)

set(PLOTVANE_PKGLIBDIR ${CMAKE_INSTALL_LIBDIR}/plotvane)
set(PLOTVANE_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/plotvane)
set(PLOTVANE_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Plotvane)

# $ORIGIN-relative run paths, worked out on a sample prefix so that only the
# relative layout matters.
function(plotvane_relative_origin out from to)
  file(RELATIVE_PATH rel /_prefix/${from} /_prefix/${to})
  string(REGEX REPLACE "/$" "" rel "${rel}")
  if(rel STREQUAL "")
    set(${out} "$ORIGIN" PARENT_SCOPE)
  else()
    set(${out} "$ORIGIN/${rel}" PARENT_SCOPE)
  endif()
endfunction()
plotvane_relative_origin(bin_to_pkglib ${CMAKE_INSTALL_BINDIR} ${PLOTVANE_PKGLIBDIR})
plotvane_relative_origin(bin_to_lib ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_LIBDIR})
plotvane_relative_origin(lib_to_pkglib ${CMAKE_INSTALL_LIBDIR} ${PLOTVANE_PKGLIBDIR})

set(plotvane_packages)
foreach(layer rtl vcl gif jpeg db chart dbchart web)
  if(TARGET plotvane_${layer})
    list(APPEND plotvane_packages plotvane_${layer})
    set_target_properties(plotvane_${layer} PROPERTIES EXPORT_NAME ${layer} INSTALL_RPATH "$ORIGIN")
  endif()
endforeach()
set_target_properties(plotvane_package PROPERTIES EXPORT_NAME package INSTALL_RPATH "$ORIGIN")
list(APPEND plotvane_packages plotvane_package)
set_target_properties(plotvane_host PROPERTIES EXPORT_NAME host INSTALL_RPATH "${lib_to_pkglib}")
set_target_properties(plotvane_server PROPERTIES EXPORT_NAME server INSTALL_RPATH "${lib_to_pkglib}")
set_target_properties(plotvane PROPERTIES INSTALL_RPATH "${bin_to_pkglib};${bin_to_lib}")

# Three components, one Debian package each: "lib" the shared libraries and
# the packages (libplotvane1), "runtime" the command, its manual page, the
# unit and the examples (plotvane), "dev" the headers, the unversioned link
# names, the CMake package and plotvane.pc (plotvane-dev).
install(TARGETS ${plotvane_packages} EXPORT PlotvaneTargets
        LIBRARY DESTINATION ${PLOTVANE_PKGLIBDIR} COMPONENT lib)
install(TARGETS plotvane_host plotvane_server EXPORT PlotvaneTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev)
install(TARGETS plotvane_all EXPORT PlotvaneTargets)
install(TARGETS plotvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)

# Public headers only: the layers' internal headers (any internal/ folder,
# and the few private headers named here) stay in the source tree.
install(DIRECTORY component contracts platform package host
        DESTINATION ${PLOTVANE_INCLUDEDIR} COMPONENT dev
        FILES_MATCHING PATTERN "*.h"
        PATTERN "internal" EXCLUDE
        PATTERN "compat" EXCLUDE
        PATTERN "PackageGlyph.h" EXCLUDE
        PATTERN "PackageResources.h" EXCLUDE
        PATTERN "SQLiteSupport.h" EXCLUDE
        PATTERN "PgSupport.h" EXCLUDE
        PATTERN "MariaDBSupport.h" EXCLUDE)
install(DIRECTORY host/compat/ DESTINATION ${PLOTVANE_INCLUDEDIR} COMPONENT dev FILES_MATCHING PATTERN "*.h")
install(FILES server/ChartServer.h server/UrlSignature.h DESTINATION ${PLOTVANE_INCLUDEDIR}/server COMPONENT dev)
install(FILES ${PROJECT_BINARY_DIR}/generated/PlotvaneVersion.h
        DESTINATION ${PLOTVANE_INCLUDEDIR} COMPONENT dev)

install(EXPORT PlotvaneTargets NAMESPACE Plotvane:: DESTINATION ${PLOTVANE_CMAKEDIR} COMPONENT dev)
configure_package_config_file(cmake/PlotvaneConfig.cmake.in ${PROJECT_BINARY_DIR}/PlotvaneConfig.cmake
                              INSTALL_DESTINATION ${PLOTVANE_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/PlotvaneConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/PlotvaneConfig.cmake ${PROJECT_BINARY_DIR}/PlotvaneConfigVersion.cmake
        DESTINATION ${PLOTVANE_CMAKEDIR} COMPONENT dev)

# plotvane.pc finds the prefix from its own folder, so it too survives a move.
file(RELATIVE_PATH PLOTVANE_PC_TO_PREFIX /_prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /_prefix)
string(REGEX REPLACE "/$" "" PLOTVANE_PC_TO_PREFIX "${PLOTVANE_PC_TO_PREFIX}")
configure_file(cmake/plotvane.pc.in ${PROJECT_BINARY_DIR}/plotvane.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/plotvane.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

if(TARGET examples)
  install(FILES examples/sales.form examples/sales.sql ${PROJECT_BINARY_DIR}/examples/sales.db
          DESTINATION ${CMAKE_INSTALL_DATADIR}/plotvane/examples COMPONENT runtime)
endif()
# The documentation: README.md and the pages of docs/ with the pictures
# they show, whichever the folder holds (a page added later makes the next
# build run CMake again).
file(GLOB plotvane_docs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md ${PROJECT_SOURCE_DIR}/docs/*.png)
# README.md links its pages as docs/<page>.md, so they keep that folder.
install(FILES README.md DESTINATION ${PLOTVANE_DOCDIR} COMPONENT runtime)
install(FILES ${plotvane_docs} DESTINATION ${PLOTVANE_DOCDIR}/docs COMPONENT runtime)

# The manual page and the Debian changelog, compressed as Debian has them
# (gzip -9n: no name or time in the header, so the bytes stay the same).
set(plotvane_debian ${PROJECT_BINARY_DIR}/debian)
add_custom_command(
  OUTPUT ${plotvane_debian}/plotvane.1.gz ${plotvane_debian}/changelog.Debian.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${plotvane_debian}
  COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\" && gzip -9n -c \"$2\" > \"$3\""
          ${PROJECT_SOURCE_DIR}/docs/plotvane.1 ${plotvane_debian}/plotvane.1.gz
          ${PROJECT_SOURCE_DIR}/deploy/debian/changelog ${plotvane_debian}/changelog.Debian.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/plotvane.1 ${PROJECT_SOURCE_DIR}/deploy/debian/changelog
  COMMENT "Compressing the manual page and the changelog" VERBATIM)
add_custom_target(plotvane_debian_files ALL
                  DEPENDS ${plotvane_debian}/plotvane.1.gz ${plotvane_debian}/changelog.Debian.gz)
install(FILES ${plotvane_debian}/plotvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
# Each package carries the copyright file and the changelog in its own
# share/doc folder, and lintian's notes on it (each says why).
set(plotvane_deb_packages runtime plotvane lib libplotvane1 dev plotvane-dev)
while(plotvane_deb_packages)
  list(POP_FRONT plotvane_deb_packages component package)
  install(FILES deploy/debian/copyright ${plotvane_debian}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  if(EXISTS ${PROJECT_SOURCE_DIR}/deploy/debian/${package}.lintian-overrides)
    install(FILES deploy/debian/${package}.lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
            RENAME ${package} COMPONENT ${component})
  endif()
endwhile()

# The unit names the installed command: its text gets the prefix's bin
# folder when it is installed, so an install into /usr (the packages) says
# /usr/bin/plotvane and one into /opt/plotvane says /opt/plotvane/bin. Its
# flags are in etc/default/plotvane: /etc/default for the prefix /usr, the
# prefix's own etc/ elsewhere (an install into a folder never writes to
# /etc).
install(CODE "
  set(bindir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(READ \"${PROJECT_SOURCE_DIR}/deploy/systemd/plotvane@.service\" unit)
  string(REPLACE \"@PLOTVANE_BINDIR@\" \"\${bindir}\" unit \"\${unit}\")
  file(WRITE \"${PROJECT_BINARY_DIR}/debian/plotvane@.service\" \"\${unit}\")
  file(INSTALL \"${PROJECT_BINARY_DIR}/debian/plotvane@.service\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(etc \"/etc\")
  else()
    set(etc \"\${CMAKE_INSTALL_PREFIX}/etc\")
  endif()
  file(INSTALL \"${PROJECT_SOURCE_DIR}/deploy/systemd/plotvane.default\" DESTINATION \"\${etc}/default\"
       RENAME plotvane PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
" COMPONENT runtime)

# Debian packages: cpack -G DEB in the build folder. CPack installs each
# component with DESTDIR set and the prefix /usr, so the unit says
# /usr/bin/plotvane and the flags land in /etc/default.
file(STRINGS deploy/debian/changelog plotvane_changelog_top LIMIT_COUNT 1)
set(PLOTVANE_DEBIAN_RELEASE 1)
if(NOT plotvane_changelog_top MATCHES "^plotvane \\(${PROJECT_VERSION}-${PLOTVANE_DEBIAN_RELEASE}\\) ")
  message(FATAL_ERROR "deploy/debian/changelog starts with '${plotvane_changelog_top}', "
                      "not with the packages' version ${PROJECT_VERSION}-${PLOTVANE_DEBIAN_RELEASE}: add its entry")
endif()
set(plotvane_version ${PROJECT_VERSION}-${PLOTVANE_DEBIAN_RELEASE})
set(PLOTVANE_PACKAGE_CONTACT "The Plotvane developers <plotvane@plotvane.invalid>" CACHE STRING
    "The Maintainer of the Debian packages")
set(CPACK_PACKAGE_NAME plotvane)
set(CPACK_PACKAGE_VENDOR "Plotvane")
set(CPACK_PACKAGE_CONTACT "${PLOTVANE_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Database-bound charts rendered on a server as GIF, JPEG, PNG, WebP, AVIF, SVG and PDF pictures")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${PLOTVANE_DEBIAN_RELEASE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# (with CPACK_SET_DESTDIR the install runs with this prefix)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL lib runtime dev)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Each package's description starts with its own summary line (no
# CPACK_PACKAGE_DESCRIPTION_SUMMARY, which CPack would put before each);
# CPack indents the lines and writes an empty one as " .".
# The formats the chart server answers (server/ChartServer.cpp); the
# install test holds this list to the one "plotvane help serve" gives.
set(plotvane_formats "GIF, JPEG, PNG, WebP, AVIF, SVG and PDF")
set(plotvane_about
    "Plotvane draws charts bound to database queries (SQLite, PostgreSQL,\nMariaDB and MySQL) described in text forms, and serves them over HTTP as\n${plotvane_formats} pictures.")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME plotvane)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION graphics)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "database-bound charts rendered on a server\n${plotvane_about}\n\nThis package holds the plotvane command (render, serve, design, ...),\nits manual page and the systemd unit plotvane@.service, whose flags are\nin /etc/default/plotvane.")
# postinst makes the user the units run as, with adduser.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libplotvane1 (= ${plotvane_version}), adduser")
file(WRITE ${plotvane_debian}/conffiles "/etc/default/plotvane\n")
configure_file(deploy/debian/plotvane.postinst ${plotvane_debian}/postinst COPYONLY)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${plotvane_debian}/conffiles ${plotvane_debian}/postinst)
set(CPACK_DEBIAN_LIB_PACKAGE_NAME libplotvane1)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
# dpkg runs ldconfig once after installing packages with this trigger.
file(WRITE ${plotvane_debian}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${plotvane_debian}/triggers)
set(CPACK_COMPONENT_LIB_DESCRIPTION "database-bound charts rendered on a server (libraries)\n${plotvane_about}\n\nThis package holds the shared libraries libplotvane_host (reading\nforms) and libplotvane_server (the chart server), the component package\nVCL_Norq_Plotvane and the platform packages it requires.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME plotvane-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DESCRIPTION "database-bound charts rendered on a server (development files)\n${plotvane_about}\n\nThis package holds the headers, the CMake package\n(find_package(Plotvane)) and plotvane.pc.")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libplotvane1 (= ${plotvane_version})")
# The dependencies of the command and the libraries come from the
# libraries their binaries link; the packages in <libdir>/plotvane are
# libplotvane1's own, and the command's libplotvane1 is named above.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The command's libplotvane_host.so.1 is in libplotvane1's staging folder,
# next to this package's (dpkg-shlibdeps runs in the package's own).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ../lib/usr/${CMAKE_INSTALL_LIBDIR} ../lib/usr/${PLOTVANE_PKGLIBDIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
