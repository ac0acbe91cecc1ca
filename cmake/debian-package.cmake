# What makes the Debian packages pass lintian: stripped binaries, a section,
# a synopsis and a description each, and a library packaged as Debian
# packages one. Included before CPack.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# CPack puts the summary first and indents these lines; an empty line
# becomes the paragraph break.
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION "Out-of-process VST 2 plug-in scanner for audio hosts
OmbrelPluginScanner is the helper an audio host starts once per VST 2.x
plug-in file: it loads the plug-in in a process of its own, reads its
name, vendor, kind and channel counts into a per-user INI file and reports
the outcome as its exit code, so that a plug-in that crashes takes only
the helper down.

ombrel-scan scans whole plug-in folders with it, several files at once,
each in a sandbox, remembers what it found, and prints a table, one JSON
document or JSON lines as results come in.")
if(OMBREL_COMPANION)
    set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION "Out-of-process VST 2 plug-in scanner (${OMBREL_COMPANION} scanner)
The ${OMBREL_COMPANION} build of OmbrelPluginScanner, installed beside the native
package's scanner, so that its ombrel-scan can scan ${OMBREL_COMPANION} plug-ins too.")
endif()
set(ombrel_library_about "libombrelscan runs the scan of ombrel-scan inside a host: it scans
files and folders of VST 2 plug-ins, each in a scanner process of its own
and a sandbox where the system allows it, and hands the host each result
as it becomes known, through a C interface.")
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "Plug-in scanning library for audio hosts
${ombrel_library_about}

This package holds the shared library.")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "Plug-in scanning library for audio hosts (development files)
${ombrel_library_about}

This package holds what building against it needs: the C header, the
CMake package and the pkg-config file.")
# Every scan runs in a bubblewrap sandbox where the system allows it.
if(NOT OMBREL_COMPANION)
    set(CPACK_DEBIAN_PROGRAMS_PACKAGE_DEPENDS bubblewrap)
endif()
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "${OMBREL_library_PACKAGE} (= ${PROJECT_VERSION})")
# The library runs the scanners, which the programs' package ships.
set(CPACK_DEBIAN_LIBRARY_PACKAGE_RECOMMENDS ${OMBREL_PACKAGE_NAME})
# The README's cpack command leaves the source tree clean.
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
if(NOT OMBREL_COMPANION)
    # A shlibs file for packages that link the library, and the ldconfig
    # trigger that makes its soname link.
    set(ombrel_control ${PROJECT_BINARY_DIR}/debian/library)
    file(WRITE ${ombrel_control}/shlibs
        "libombrelscan ${OMBREL_SCAN_SOVERSION} ${OMBREL_library_PACKAGE} (>= ${PROJECT_VERSION})\n")
    file(WRITE ${ombrel_control}/triggers "activate-noawait ldconfig\n")
    set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${ombrel_control}/shlibs ${ombrel_control}/triggers)
    set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    # CPack adds maintainer scripts that call ldconfig for any library below
    # /usr/lib; the trigger does that job, as Debian wants. They go again.
    set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian-drop-ldconfig.cmake)
endif()
