# SPDX-License-Identifier: MIT
# cmake -DSTAGE=DIR -DCLI=brelvo-cli.exe -DDEVSIM=brelvo-devsim.exe -DSTRIP=... -DGROFF=...
#       -DMANPAGE=brelvo-cli.1 -DDEVSIM_MANPAGE=brelvo-devsim.1 -DREADME=README.md -DLICENSE=LICENSE -P stage.cmake
# Fills DIR with what the zip and the installer hold. Texts get CRLF line
# ends so that every Windows editor shows their lines.
foreach(v STAGE CLI DEVSIM STRIP GROFF MANPAGE DEVSIM_MANPAGE README LICENSE)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "stage.cmake: ${v} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")

function(write_crlf path text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${path}" "${text}")
endfunction()

foreach(exe CLI DEVSIM)
  get_filename_component(name "${${exe}}" NAME)
  execute_process(COMMAND "${STRIP}" -o "${STAGE}/${name}" "${${exe}}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "stage.cmake: ${STRIP} failed on ${${exe}}")
  endif()
endforeach()

# The Windows section of the README leads, so a Windows user reads what
# concerns them first; the rest follows for everything else.
file(READ "${README}" readme)
string(FIND "${readme}" "\n## Windows" at)
if(at LESS 0)
  message(FATAL_ERROR "stage.cmake: ${README} has no '## Windows' section")
endif()
math(EXPR at "${at} + 1")
string(SUBSTRING "${readme}" ${at} -1 windows)
string(FIND "${windows}" "\n## " end)
if(end GREATER 0)
  string(SUBSTRING "${windows}" 0 ${end} windows)
endif()
write_crlf("${STAGE}/README.txt" "${windows}\n\n${readme}")

file(READ "${LICENSE}" licence)
write_crlf("${STAGE}/LICENSE.txt" "${licence}")

# Plain text: no overstrike, escape sequences or hyphenated paths, which
# Notepad would show as they are.
foreach(page MANPAGE DEVSIM_MANPAGE)
  get_filename_component(name "${${page}}" NAME_WE)
  execute_process(COMMAND "${GROFF}" -man -rHY=0 -Tascii -P-c -P-b -P-o -P-u "${${page}}"
                  OUTPUT_VARIABLE manual RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR manual STREQUAL "")
    message(FATAL_ERROR "stage.cmake: groff could not render ${${page}}: ${err}")
  endif()
  write_crlf("${STAGE}/${name}.txt" "${manual}")
endforeach()
