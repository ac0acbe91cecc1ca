# What makes the Debian package pass lintian: stripped binaries, a section,
# a synopsis and a description. Included before CPack.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# CPack puts the summary first and indents these lines; an empty line
# becomes the paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "OmbrelPluginScanner is the helper an audio host starts once per VST 2.x
plug-in file: it loads the plug-in in a process of its own, reads its
name, vendor, kind and channel counts into a per-user INI file and reports
the outcome as its exit code, so that a plug-in that crashes takes only
the helper down.

ombrel-scan scans whole plug-in folders with it, several files at once,
each in a sandbox, remembers what it found, and prints a table, one JSON
document or JSON lines as results come in.")
if(OMBREL_COMPANION)
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The ${OMBREL_COMPANION} build of OmbrelPluginScanner, installed beside the native
package's scanner, so that its ombrel-scan can scan ${OMBREL_COMPANION} plug-ins too.")
endif()
# Every scan runs in a bubblewrap sandbox where the system allows it.
if(NOT OMBREL_COMPANION)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS bubblewrap)
endif()
# The README's cpack command leaves the source tree clean.
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
if(NOT OMBREL_COMPANION)
    # The package ships libombrelscan.so.1: a shlibs file for packages that
    # link it, and the ldconfig trigger that makes its soname link.
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
    file(WRITE ${PROJECT_BINARY_DIR}/debian/triggers "activate-noawait ldconfig\n")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/triggers)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
