# Runs the keel command once and compares what it did with the case's
# golden files in this folder:
#   cmake -DKEEL=<program> -DCASE=<name> -DCASES=<this folder> -DWORK=<dir>
#         -DSTATUS=<exit status> [options] -P run_case.cmake -- <arguments>
# Options:
#   EMULATOR    runs the program (Wine for a Windows build)
#   WINDOWS     1: the program writes text-mode output, every LF as CR LF
#   BINARY_OUT  1: standard output carries bytes as they are (not text mode)
#   STDIN       a file of input/ given as standard input (else an empty one)
#   SET_ENV     VAR=VALUE[,VAR=VALUE...] set for the run
#   OUT_MATCH   a regular expression that standard output must match, in
#               place of <name>.out; \n in it stands for LF
#   LOG         1: navl.log must hold the lines of <name>.log, each ending in
#               CR LF, with its time stamps written as <time>
#   VERSION     stands for @VERSION@ in the golden files
# <name>.out and <name>.err hold the expected standard output and error;
# a missing file expects nothing.  The run happens in WORK, made afresh with
# a copy of input/, an empty folder adir/ and an unreadable file; the
# argument @UNREADABLE@ names that file.  When the system lets this user
# read every file, /proc/sys/vm/compact_memory stands in; failing that the
# case is skipped ("SKIPPED:").
cmake_minimum_required(VERSION 3.20)

set(args)
set(take OFF)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
  if(take)
    list(APPEND args "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(take ON)
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/adir")
file(COPY "${CASES}/input/" DESTINATION "${WORK}")

if("@UNREADABLE@" IN_LIST args)
  set(unreadable "${WORK}/unreadable.txt")
  file(WRITE "${unreadable}" "secret\n")
  file(CHMOD "${unreadable}" PERMISSIONS OWNER_WRITE)
  execute_process(COMMAND ${CMAKE_COMMAND} -E cat "${unreadable}" RESULT_VARIABLE readable
                  OUTPUT_QUIET ERROR_QUIET)
  if(readable EQUAL 0)
    # Write-only even for the superuser (EXISTS cannot see it: it asks for
    # read access).
    set(unreadable /proc/sys/vm/compact_memory)
    execute_process(COMMAND ${CMAKE_COMMAND} -E cat "${unreadable}" OUTPUT_QUIET
                    ERROR_VARIABLE refusal)
    if(NOT refusal MATCHES "[Pp]ermission denied")
      message(STATUS "SKIPPED: this user can read every file")
      return()
    endif()
  else()
    set(unreadable unreadable.txt)
  endif()
  list(TRANSFORM args REPLACE "^@UNREADABLE@$" "${unreadable}")
endif()

if(DEFINED SET_ENV)
  string(REPLACE "," ";" env_list "${SET_ENV}")
  foreach(pair IN LISTS env_list)
    string(REGEX MATCH "^([^=]+)=(.*)$" matched "${pair}")
    set(ENV{${CMAKE_MATCH_1}} "${CMAKE_MATCH_2}")
  endforeach()
endif()
if(NOT DEFINED STDIN)
  file(WRITE "${WORK}/empty-stdin" "")
  set(stdin "${WORK}/empty-stdin")
else()
  set(stdin "${CASES}/input/${STDIN}")
endif()

execute_process(COMMAND ${EMULATOR} "${KEEL}" ${args}
  WORKING_DIRECTORY "${WORK}"
  INPUT_FILE "${stdin}"
  OUTPUT_FILE "${WORK}/.stdout" ERROR_FILE "${WORK}/.stderr" RESULT_VARIABLE status)

# Outputs are compared byte for byte as hexadecimal, "hh " per byte: CMake
# reads a text's CR LF as LF, and here every CR counts.
function(bytes_of_text text variable)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\1 " hex "${hex}")
  set(${variable} "${hex}" PARENT_SCOPE)
endfunction()
function(bytes_of_file file variable)
  set(hex "")
  if(EXISTS "${file}")
    file(READ "${file}" hex HEX)
  endif()
  string(REGEX REPLACE "(..)" "\\1 " hex "${hex}")
  set(${variable} "${hex}" PARENT_SCOPE)
endfunction()
# replace_text(<variable> <text> <by>): in the bytes of <variable>.
function(replace_text variable text by)
  bytes_of_text("${text}" from)
  bytes_of_text("${by}" to)
  string(REPLACE "${from}" "${to}" bytes "${${variable}}")
  set(${variable} "${bytes}" PARENT_SCOPE)
endfunction()

set(failures "")
if(NOT "${status}" STREQUAL "${STATUS}")
  string(APPEND failures "exit status ${status}, expected ${STATUS}\n")
endif()

# check_output(<stream> <suffix>): the bytes of .<stream> against <CASE>.<suffix>.
function(check_output stream suffix text_mode)
  bytes_of_file("${WORK}/.${stream}" got)
  if(WINDOWS AND text_mode)
    string(REPLACE "0d 0a " "0a " got "${got}")
  endif()
  if(DEFINED unreadable)
    replace_text(got "${unreadable}" "@UNREADABLE@")
  endif()
  bytes_of_file("${CASES}/${CASE}.${suffix}" want)
  replace_text(want "@VERSION@" "${VERSION}")
  if(NOT got STREQUAL want)
    file(READ "${WORK}/.${stream}" text)
    set(failures "${failures}standard ${stream}:\n[${text}]\nbytes: ${got}\nexpected: ${want}\n"
        PARENT_SCOPE)
  endif()
endfunction()

if(DEFINED OUT_MATCH)
  string(REPLACE "\\n" "\n" OUT_MATCH "${OUT_MATCH}")
  file(READ "${WORK}/.stdout" out)
  if(NOT out MATCHES "${OUT_MATCH}")
    string(APPEND failures "standard output does not match ${OUT_MATCH}:\n[${out}]\n")
  endif()
elseif(BINARY_OUT)
  check_output(stdout out OFF)
else()
  check_output(stdout out ON)
endif()
check_output(stderr err ON)

if(LOG)
  # Every line ends in CR LF; then the text, its time stamps written <time>.
  bytes_of_file("${WORK}/navl.log" bytes)
  string(REPLACE "0d 0a " "" bare " ${bytes}")
  if(bare MATCHES " 0[ad] ")
    string(APPEND failures "navl.log has a line end other than CR LF: ${bytes}\n")
  endif()
  set(log "")
  if(EXISTS "${WORK}/navl.log")
    file(READ "${WORK}/navl.log" log)
  endif()
  set(stamp "[0-9][0-9]/[0-9][0-9]/[0-9][0-9][0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]")
  string(REGEX REPLACE "(^|\n)${stamp}" "\\1<time>" log "${log}")
  file(READ "${CASES}/${CASE}.log" want)
  if(NOT log STREQUAL want)
    string(APPEND failures "navl.log:\n[${log}]\nexpected:\n[${want}]\n")
  endif()
endif()

if(NOT failures STREQUAL "")
  message(FATAL_ERROR "keel ${args}\n${failures}")
endif()
