# Runs the command-line host as a user would and checks what it prints and
# returns. Called by CTest with -D for: EMULATOR ("|"-separated, may be
# empty), SAMPLES, PROBE, PLUGIN, INCOMPLETE, ANSI, EXPECTED, WORK.
string(REPLACE "|" ";" emulator "${EMULATOR}")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# Run in WORK, so that paths given as "samples" are shown as given.
function(run expected_status)
  execute_process(COMMAND ${emulator} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
                  WORKING_DIRECTORY "${WORK}" TIMEOUT 300)
  if(NOT status STREQUAL expected_status)
    message(FATAL_ERROR "${ARGN}\nreturned ${status}, expected ${expected_status}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

run(0 "${SAMPLES}" "${WORK}/samples")
# The sample writer: help, and a usage error for what it cannot take.
run(0 "${SAMPLES}" --help)
if(NOT out MATCHES "Usage: palm-samples FOLDER")
  message(FATAL_ERROR "palm-samples --help printed no usage:\n${out}")
endif()
foreach(bad IN ITEMS "--bogus;x" "x;abc" "x;-5" "x;0" "x;3x" "x;1;2")
  run(2 "${SAMPLES}" ${bad})
endforeach()
if(EXISTS "${WORK}/x" OR EXISTS "${WORK}/--bogus")
  message(FATAL_ERROR "palm-samples wrote a folder for a command line it refused")
endif()

# Without arguments: a usage error, and the line that says how to call it.
run(2 "${PROBE}")
if(NOT err MATCHES "Usage: wdxprobe \\[OPTIONS\\] PLUGIN \\[PATH...\\]")
  message(FATAL_ERROR "no usage line:\n${err}")
endif()

# Every sample's exact bytes and codes, as a host receives them.
run(0 "${PROBE}" "${PLUGIN}" --json --delay --threads 3 samples)
# A Windows host joins a folder and a name with a backslash.
string(REPLACE "\"samples\\\\" "\"samples/" out "${out}")
file(READ "${EXPECTED}" expected)
if(NOT out STREQUAL expected)
  file(WRITE "${WORK}/actual.jsonl" "${out}")
  message(FATAL_ERROR "JSON differs from ${EXPECTED}; see ${WORK}/actual.jsonl")
endif()

# A missing file argument: the others are still shown, and the status is 1.
run(1 "${PROBE}" "${PLUGIN}" "${WORK}/samples/MemoDB.pdb" "${WORK}/no-such.pdb")
if(NOT out MATCHES "MemoDB.pdb +MemoDB +DATA +memo +2002-08-16 +2021-02-20 +2021-02-19 +42 +0")
  message(FATAL_ERROR "table row missing:\n${out}")
endif()
if(NOT err MATCHES "no-such.pdb: no such file or folder")
  message(FATAL_ERROR "no message for the missing file:\n${err}")
endif()

# No PATH and no --list: nothing to do is a usage error.
run(2 "${PROBE}" "${PLUGIN}")
if(NOT err MATCHES "Usage: wdxprobe")
  message(FATAL_ERROR "no usage line without a PATH:\n${err}")
endif()

# Plug-ins that cannot be used: status 2 and a line that says why.
run(2 "${PROBE}" "${WORK}/samples/notes.txt" "${WORK}/samples")
if(NOT err MATCHES "cannot load")
  message(FATAL_ERROR "no message for an unloadable plug-in:\n${err}")
endif()
run(2 "${PROBE}" "${INCOMPLETE}" "${WORK}/samples")
if(NOT err MATCHES "lacks the export ContentGetValueW")
  message(FATAL_ERROR "the missing export is not named:\n${err}")
endif()
run(2 "${PROBE}" "${PLUGIN}" --fields DBName,Colour "${WORK}/samples")

# A plug-in with the 8-bit exports only gets names in the system's 8-bit
# code page: Windows-1252 under Wine's default locale, UTF-8 on Linux.
file(WRITE "${WORK}/ansi/Café.pdb" "")
run(0 "${PROBE}" "${ANSI}" --json ansi)
if(PROBE MATCHES "\\.exe$")
  set(name_bytes "436166e92e706462")
else()
  set(name_bytes "436166c3a92e706462")
endif()
if(NOT out MATCHES "\"bytes\":\"${name_bytes}\",\"shown\":\"Café.pdb\"")
  message(FATAL_ERROR "the 8-bit export did not get the name in the 8-bit code page:\n${out}")
endif()

# Chosen fields, non-matching files with --all.
run(0 "${PROBE}" "${PLUGIN}" --fields NumRecords,DBType --all "${WORK}/samples")
if(NOT out MATCHES "notes.txt +delayed +delayed" OR NOT out MATCHES "File +NumRecords +DBType\n")
  message(FATAL_ERROR "--fields or --all not applied:\n${out}")
endif()
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
