# How Plotvane is installed and packaged, and the target a program links.
#
#   bin/plotvane                               the command
#   lib/libplotvane_host.so.<version>          reading forms
#   lib/libplotvane_server.so.<version>        the chart server
#   lib/plotvane/*.bpl                         the component package and the eight
#                                              host-platform packages it requires,
#                                              under the names its manifest gives
#   include/plotvane/{component,contracts,platform,package,host,server}/...
#                                              the public headers, by the same path
#                                              as in the source tree: a program
#                                              includes <plotvane/host/FormClasses.h>
#   include/plotvane/PlotvaneVersion.h         the version, <plotvane/PlotvaneVersion.h>
#   include/plotvane/tools/FormClasses.h       the old spelling of host/FormClasses.h,
#                                              forwarding to it, kept for one release
#   lib/cmake/Plotvane/, lib/pkgconfig/plotvane.pc
#                                              both put include/ and, for one release
#                                              more, include/plotvane on the include
#                                              path: the old spelling
#                                              "component/Norq_Plotvane.h" still works
#   share/plotvane/examples/                   the sample form and its database
#   share/doc/plotvane/, .../docs/             README.md and the pages of docs/
#
# Every binary finds the others through a RUNPATH relative to $ORIGIN, so an
# installed tree keeps working when it is moved to another folder.

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

# The runtime: the command and the libraries. The development files: the
# headers, the unversioned link name, the CMake package and plotvane.pc.
install(TARGETS ${plotvane_packages} EXPORT PlotvaneTargets
        LIBRARY DESTINATION ${PLOTVANE_PKGLIBDIR} COMPONENT runtime)
install(TARGETS plotvane_host plotvane_server EXPORT PlotvaneTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
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

# Debian packages: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME plotvane)
set(CPACK_PACKAGE_VENDOR "Plotvane")
set(CPACK_PACKAGE_CONTACT "Plotvane developers <plotvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Database-bound charts rendered on a server as GIF, JPEG, PNG, WebP, AVIF, SVG and PDF pictures")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME plotvane)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION graphics)
# The summary above is each package's first line; these follow it.
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "The plotvane command and the Plotvane libraries: the component package VCL_Norq_Plotvane with the platform packages it requires, the form host library and the chart server library.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME plotvane-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION "Development files for Plotvane: the headers, the CMake package (find_package(Plotvane)) and plotvane.pc.")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "plotvane (= ${PROJECT_VERSION})")
# The runtime's dependencies come from the libraries its binaries link;
# the packages in lib/plotvane are its own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
