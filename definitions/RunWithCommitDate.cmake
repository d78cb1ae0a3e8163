# SPDX-License-Identifier: GPL-3.0-or-later
# Runs COMMAND (a list) in DIR with SOURCE_DATE_EPOCH set to the date of
# DIR's last commit, unless the environment already sets it; 0 when there is
# no git history (an unpacked tarball).
#   cmake -DGIT=git -DDIR=... -DCOMMAND="exe;arg;..." -P RunWithCommitDate.cmake
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch 0)
    if(GIT)
        execute_process(COMMAND ${GIT} -C ${DIR} log -1 --format=%ct
                        OUTPUT_VARIABLE out RESULT_VARIABLE rc ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(rc EQUAL 0 AND out MATCHES "^[0-9]+$")
            set(epoch ${out})
        endif()
    endif()
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
execute_process(COMMAND ${COMMAND} WORKING_DIRECTORY ${DIR} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${COMMAND} failed (${rc})")
endif()
