# Libraries go to Debian's multiarch folder, lib/<triplet> (for example
# lib/x86_64-linux-gnu), as its packages have them. GNUInstallDirs chooses
# it only for the prefix /usr, and the packages are made from the same
# build as a prefix install, so it is the default wherever the compiler
# names a triplet; -DCMAKE_INSTALL_LIBDIR=lib keeps a flat tree.
if(PROJECT_IS_TOP_LEVEL AND CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries (lib/<multiarch triplet>)")
endif()
include(GNUInstallDirs)
# Where an install puts the documentation (the command's help names it).
set(PLOTVANE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/plotvane)

# Shared compile settings: every warning is an error, and the sanitizer build
# instruments every target the same way. -Werror only where this is the top
# project: a program that builds Plotvane with add_subdirectory or
# FetchContent may use a compiler with new warnings.
option(PLOTVANE_WERROR "Treat warnings as errors" ${PROJECT_IS_TOP_LEVEL})
add_library(plotvane_warnings INTERFACE)
target_compile_options(plotvane_warnings INTERFACE -Wall -Wextra -Wpedantic
                       -Wno-missing-field-initializers)
if(PLOTVANE_WERROR)
  target_compile_options(plotvane_warnings INTERFACE -Werror)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 at -O3 reports "literal" + std::string as an overlapping memcpy
  # inside libstdc++ (a known false positive, fixed in GCC 13).
  target_compile_options(plotvane_warnings INTERFACE -Wno-restrict)
endif()
if(PLOTVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(PLOTVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "PLOTVANE_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
  endif()
  # Every library is instrumented for coverage and checked by ASan and
  # UBSan; only the fuzz programs link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(PLOTVANE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# plotvane_header_tree(): <build>/include/plotvane, where a program built
# along with Plotvane (add_subdirectory, FetchContent) finds the headers as
# an installed tree has them, <plotvane/component/Norq_Plotvane.h>: links to
# the folders of the source tree, to the old spelling tools/FormClasses.h
# and to the generated PlotvaneVersion.h.
function(plotvane_header_tree)
  set(tree ${PROJECT_BINARY_DIR}/include/plotvane)
  file(MAKE_DIRECTORY ${tree})
  foreach(dir component contracts platform package server host)
    if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${dir})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${dir} ${tree}/${dir} SYMBOLIC)
    endif()
  endforeach()
  if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/host/compat/tools)
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/host/compat/tools ${tree}/tools SYMBOLIC)
  endif()
  file(CREATE_LINK ${PROJECT_BINARY_DIR}/generated/PlotvaneVersion.h ${tree}/PlotvaneVersion.h SYMBOLIC)
endfunction()

# plotvane_library(<name> SOURCES ... DEPS ...): a library named
# plotvane_<name> with the alias Plotvane::<name>.
# PACKAGE <file name> builds it as the shared library of that host package
# (for example rtl60.bpl), which is what the component package requires.
# VERSIONED builds it as a shared library lib<target>.so.<major> that
# carries the project's version; STATIC as a static library.
function(plotvane_library name)
  cmake_parse_arguments(ARG "VERSIONED;STATIC" "PACKAGE" "SOURCES;DEPS;PUBLIC_DEPS" ${ARGN})
  if(ARG_STATIC)
    add_library(plotvane_${name} STATIC ${ARG_SOURCES})
  elseif(ARG_VERSIONED)
    add_library(plotvane_${name} SHARED ${ARG_SOURCES})
    set_target_properties(plotvane_${name} PROPERTIES VERSION ${PROJECT_VERSION}
                          SOVERSION ${PROJECT_VERSION_MAJOR})
  elseif(ARG_PACKAGE)
    add_library(plotvane_${name} SHARED ${ARG_SOURCES})
    set_target_properties(plotvane_${name} PROPERTIES PREFIX "" OUTPUT_NAME ${ARG_PACKAGE}
                          SUFFIX ".bpl" LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
  else()
    add_library(plotvane_${name} ${ARG_SOURCES})
  endif()
  add_library(Plotvane::${name} ALIAS plotvane_${name})
  # Headers are included by their path below the tree's root, and from
  # outside as <plotvane/...>: an install keeps that path below
  # include/plotvane, and the build tree has include/plotvane too
  # (plotvane_header_tree). include/plotvane itself stays on the path for
  # one release, for the old spelling "component/Norq_Plotvane.h".
  target_include_directories(plotvane_${name} PUBLIC
    "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR};${PROJECT_BINARY_DIR}/generated;${PROJECT_BINARY_DIR}/include>"
    "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR};${CMAKE_INSTALL_INCLUDEDIR}/plotvane>")
  target_link_libraries(plotvane_${name} PRIVATE plotvane_warnings ${ARG_DEPS}
                        PUBLIC ${ARG_PUBLIC_DEPS})
endfunction()

# plotvane_test(<name> SOURCES ... DEPS ...): one GoogleTest executable.
function(plotvane_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE plotvane_warnings ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(PLOTVANE_SANITIZE)
    # fontconfig loses one block while it starts; the leak checker skips it.
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tools/LsanSuppressions.cpp)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "PLOTVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
