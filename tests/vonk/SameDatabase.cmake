# SPDX-License-Identifier: GPL-3.0-or-later
# Compiles the definitions database again as the build does, on a "machine"
# whose shared-mime-info folders hold an extra package file with a type of
# its own, and checks that the result is the build's VonkDefs.vkd byte for
# byte: the database depends on the commit, never on the build machine.
# (56: where the header keeps the build date.)
#   cmake -DGIT=git -DDIR=SRC -DFAKE=DIR -DEXPECTED=VonkDefs.vkd
#         -DCOMMAND="vonk-defs;...;-o;OUT;..." -DOUT=OUT -P SameDatabase.cmake
file(REMOVE_RECURSE ${FAKE})
file(MAKE_DIRECTORY ${FAKE}/mime/packages)
file(WRITE ${FAKE}/mime/packages/extra.xml [=[<?xml version="1.0"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="application/x-only-on-this-machine">
    <comment>Only on this machine</comment>
    <magic><match type="string" value="THIS-MACHINE" offset="0"/></magic>
  </mime-type>
</mime-info>
]=])
set(ENV{XDG_DATA_HOME} ${FAKE})
set(ENV{XDG_DATA_DIRS} ${FAKE})
set(ENV{HOME} ${FAKE})
# The build date is the commit's when the build ran (a later commit that
# changed none of the inputs does not rebuild it): take it from the file.
file(READ ${EXPECTED} stamp OFFSET 56 LIMIT 8 HEX)
set(le "")
foreach(i RANGE 14 0 -2)
    string(SUBSTRING "${stamp}" ${i} 2 byte)
    string(APPEND le "${byte}")
endforeach()
math(EXPR epoch "0x${le}")
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
include(${DIR}/definitions/RunWithCommitDate.cmake)
file(SHA256 ${OUT} got)
file(SHA256 ${EXPECTED} want)
if(NOT got STREQUAL want)
    message(FATAL_ERROR "${OUT} differs from ${EXPECTED}: the database depends on the build machine")
endif()
file(READ ${OUT} bytes HEX)
string(HEX "THIS-MACHINE" marker)
string(FIND "${bytes}" "${marker}" at)
if(NOT at EQUAL -1)
    message(FATAL_ERROR "${OUT} imported the fake machine's package file")
endif()
message(STATUS "VonkDefs.vkd is the same without the build machine's MIME folders: ${got}")
