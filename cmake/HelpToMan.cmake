# cmake -DPROGRAM=... -DNAME=... -DVERSION=... -DOUT=... -P HelpToMan.cmake
# A manual page from the program's --help: the summary from its text, the text itself as the
# description, kept as written (preformatted).
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${NAME} --help failed (${rc}): ${err}")
endif()
# roff: a backslash is written \e; a line may not start with a dot or an apostrophe.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(TIMESTAMP year "%Y" UTC)
set(summaries
  "zento=host program of attitude and heading reference boards"
  "zento-board=simulated AHRS board on a pseudo-terminal"
  "zento-decode=decode captures and recordings of the board's serial stream"
  "zento-capture=record the board's serial stream without a window")
set(summary "part of Zento")
foreach(s ${summaries})
  string(REPLACE "=" ";" pair "${s}")
  list(GET pair 0 key)
  if(key STREQUAL NAME)
    list(GET pair 1 summary)
  endif()
endforeach()
get_filename_component(dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
file(WRITE "${OUT}" ".TH ${NAME} 1 \"${year}\" \"Zento ${VERSION}\" \"User Commands\"
.SH NAME
${NAME} \\- ${summary}
.SH DESCRIPTION
.nf
${help}.fi
.SH SEE ALSO
zento(1), zento-board(1), zento-decode(1), zento-capture(1)
")
