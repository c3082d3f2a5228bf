# SPDX-License-Identifier: MIT
# Turns one text file into the form a package carries, at build time:
#   cmake -DMODE=gzip|crlf|man-crlf -DIN=file -DOUT=file -P text.cmake
# gzip: compressed with gzip -9n, so no name or time goes in and the same
#       input gives the same bytes (man pages and changelogs in a .deb);
# crlf: line ends CR LF, as Notepad expects;
# man-crlf: a man page rendered as plain text, then CR LF.
if(MODE STREQUAL "gzip")
  execute_process(COMMAND gzip -9n -c ${IN} OUTPUT_FILE ${OUT} COMMAND_ERROR_IS_FATAL ANY)
  return()
endif()
if(MODE STREQUAL "man-crlf")
  # No escape sequences, overstrikes or underlines: plain ASCII.
  execute_process(COMMAND groff -man -Tascii -P-cbou ${IN} OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
else()
  file(READ ${IN} text)
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
