# Installs the build tree into a scratch prefix and checks that it holds what a base
# station needs: the programs, the schema, the systemd unit naming the installed motelog
# and spooling in its state directory, the example of the unit's environment file, and the
# README that motelog --help names.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${output}")
endif()

set(unit "${PREFIX}/lib/systemd/system/motelog.service")
foreach(file bin/motelog bin/motesim bin/motelog-report share/motelog/schema.sql
             share/doc/motelog/README.md share/doc/motelog/docs/service.md
             share/doc/motelog/motelog-report.png
             share/man/man8/motelog.8 share/man/man1/motelog-report.1 share/man/man1/motesim.1
             lib/systemd/system/motelog.service lib/systemd/system/motelog@.service
             share/motelog/motelog.env.example)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "the install tree lacks ${file}")
  endif()
endforeach()

file(STRINGS "${unit}" exec_start REGEX "^ExecStart=")
if(NOT exec_start STREQUAL "ExecStart=${PREFIX}/bin/motelog")
  message(FATAL_ERROR "the unit starts '${exec_start}', not the installed motelog")
endif()
file(STRINGS "${unit}" restart REGEX "^Restart=")
if(NOT restart STREQUAL "Restart=on-failure")
  message(FATAL_ERROR "the unit must restart motelog after a database error, has '${restart}'")
endif()

execute_process(COMMAND "${PREFIX}/bin/motelog" --help RESULT_VARIABLE status OUTPUT_VARIABLE help)
string(FIND "${help}" "${PREFIX}/share/doc/motelog/README.md" readme_at)
if(NOT status EQUAL 0 OR readme_at EQUAL -1)
  message(FATAL_ERROR "the installed motelog --help (${status}) does not name the installed README:\n${help}")
endif()

file(STRINGS "${unit}" spool REGEX "^(Environment=MOTELOG_SPOOL=|StateDirectory=)")
if(NOT spool STREQUAL "Environment=MOTELOG_SPOOL=/var/lib/motelog/spool;StateDirectory=motelog")
  message(FATAL_ERROR "the unit must spool in its state directory, has '${spool}'")
endif()

foreach(program motesim motelog-report)
  execute_process(COMMAND "${PREFIX}/bin/${program}" --help RESULT_VARIABLE status OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the installed ${program} does not run (${status})")
  endif()
endforeach()

find_program(SYSTEMD_ANALYZE systemd-analyze)
if(SYSTEMD_ANALYZE)
  execute_process(COMMAND "${SYSTEMD_ANALYZE}" verify "${unit}"
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "systemd-analyze rejects the unit:\n${output}")
  endif()
endif()
