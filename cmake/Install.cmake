# What `cmake --install` puts where, and the packages CPack makes of it:
# a Debian package from the native build, a zip from the Windows build
# (scripts/package makes both).
include(GNUInstallDirs)

# Rule packs are optional (OPTIONAL: a tree without rules/ installs none).
if(WIN32)
  # A zip to unpack anywhere: the program at the top, beside its papers.
  install(TARGETS tarnwick RUNTIME DESTINATION .)
  install(FILES README.md LICENSE CHANGELOG.md DESTINATION .)
  # The README shows the report's picture and names the JSON report's schema.
  install(FILES docs/report.png docs/report.schema.json DESTINATION docs)
  install(FILES examples/build.log examples/rules.xml DESTINATION examples)
  install(DIRECTORY rules/ DESTINATION rules OPTIONAL)
else()
  install(TARGETS tarnwick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/tarnwick.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES completion/tarnwick DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES README.md docs/report.schema.json DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Where the installed README's picture link (docs/report.png) finds it.
  install(FILES docs/report.png DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
  install(FILES examples/build.log examples/rules.xml DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
  install(DIRECTORY rules/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnwick/rules OPTIONAL)
endif()

set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "the tarnwick developers")
set(CPACK_PACKAGE_CONTACT "the tarnwick developers <tarnwick@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "build-log analyser that judges a run of a build tool")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "tarnwick runs a command-line build tool (a compiler, a packager, a server\n"
  "build), echoes everything it writes, and classifies every line of the logs\n"
  "the tool names with regular-expression rules as ignored, success, failure,\n"
  "summary or unmatched. It prints the counts, copies and lists the files that\n"
  "log lines name, and ends with exit status 0 or 1, so that a build script can\n"
  "trust its verdict.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# Package files are named from the version alone: tarnwick_0.10_amd64.deb,
# tarnwick-0.10-win64.zip.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
  # What Debian asks of a package beyond what `cmake --install` lays out
  # (compressed manual page and changelog, the copyright file) is added to
  # the package's staging tree, so that a plain install keeps plain files.
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianTree.cmake)
  set(CPACK_TARNWICK_SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  set(CPACK_TARNWICK_DOCDIR ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_TARNWICK_MANDIR ${CMAKE_INSTALL_MANDIR})
endif()

include(CPack)
