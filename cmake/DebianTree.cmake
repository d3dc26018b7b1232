# Run by CPack on the staging tree of the Debian package, before the package
# is made: compresses the manual page, and adds the changelog (made from
# CHANGELOG.md) and the copyright file (made from LICENSE) where Debian wants
# them. A plain `cmake --install` never runs this.
cmake_policy(VERSION 3.25)
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(root ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(docdir ${root}/${CPACK_TARNWICK_DOCDIR})
set(source ${CPACK_TARNWICK_SOURCE_DIR})

# gzip -9n: best compression and no time stamp, so the bytes depend only on
# the input.
function(compress file)
  execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed")
  endif()
endfunction()

compress(${root}/${CPACK_TARNWICK_MANDIR}/man1/tarnwick.1)

# The changelog: one Debian entry per "## <version> - <yyyy-mm-dd>" section
# of CHANGELOG.md, its "- " items as "  * " items.
file(STRINGS ${source}/CHANGELOG.md lines ENCODING UTF-8)
set(changelog "")
set(entry "")
set(trailer "")
foreach(line IN LISTS lines)
  if(line MATCHES "^## ([^ ]+) - ([0-9]+-[0-9]+-[0-9]+)$")
    if(entry)
      string(APPEND changelog "${entry}\n\n${trailer}\n\n")
    endif()
    set(version ${CMAKE_MATCH_1})
    execute_process(COMMAND date -u -R -d "${CMAKE_MATCH_2} 00:00:00 UTC"
                    OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(entry "tarnwick (${version}) unstable; urgency=medium\n")
    set(trailer " -- ${CPACK_PACKAGE_CONTACT}  ${date}")
  elseif(entry AND line MATCHES "^- (.*)$")
    string(APPEND entry "\n  * ${CMAKE_MATCH_1}")
  elseif(entry AND line MATCHES "^  +(.*)$")
    string(APPEND entry "\n    ${CMAKE_MATCH_1}")
  endif()
endforeach()
if(NOT entry)
  message(FATAL_ERROR "CHANGELOG.md has no \"## <version> - <date>\" section")
endif()
string(APPEND changelog "${entry}\n\n${trailer}\n")
file(WRITE ${docdir}/changelog "${changelog}")
compress(${docdir}/changelog)

# The copyright file in Debian's machine-readable format; the licence text
# is LICENSE's, each line indented, empty lines as " .".
file(STRINGS ${source}/LICENSE license ENCODING UTF-8)
list(POP_FRONT license)  # "MIT License"
set(notice "")
set(body "")
foreach(line IN LISTS license)
  if(line MATCHES "^Copyright \\(c\\) (.*)$")
    set(notice ${CMAKE_MATCH_1})
  elseif(notice AND NOT (body STREQUAL "" AND line STREQUAL ""))
    if(line STREQUAL "")
      string(APPEND body " .\n")
    else()
      string(APPEND body " ${line}\n")
    endif()
  endif()
endforeach()
file(WRITE ${docdir}/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: tarnwick\n"
  "\n"
  "Files: *\n"
  "Copyright: ${notice}\n"
  "License: Expat\n"
  "${body}")
