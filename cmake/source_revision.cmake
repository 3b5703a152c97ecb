# Writes the source revision header and the source epoch file of a build (cmake -P, run at every
# build): the commit the sources come from, with "-modified" when tracked files differ from it, and
# the commit's time in seconds since 1970, which becomes the exe's PE time-stamp. Outside a git
# checkout the revision is OVERRIDE (or "unknown") and the time SOURCE_DATE_EPOCH (or 0). A file is
# written only when its content changes, so an unchanged revision rebuilds nothing.
# Arguments: -DSOURCE_DIR= -DHEADER= -DEPOCH_FILE= [-DOVERRIDE=]
set(revision "")
set(epoch "")
if(NOT OVERRIDE STREQUAL "")
    set(revision "${OVERRIDE}")
else()
    execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse --verify HEAD
                    RESULT_VARIABLE status OUTPUT_VARIABLE revision ERROR_QUIET
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(status EQUAL 0)
        execute_process(COMMAND git -C "${SOURCE_DIR}" log -1 --format=%ct HEAD
                        OUTPUT_VARIABLE epoch ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
        execute_process(COMMAND git -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
                        OUTPUT_VARIABLE changes ERROR_QUIET)
        if(NOT changes STREQUAL "")
            string(APPEND revision "-modified")
        endif()
    else()
        set(revision "unknown")
    endif()
endif()
if(NOT epoch MATCHES "^[0-9]+$")
    set(epoch "$ENV{SOURCE_DATE_EPOCH}")
    if(NOT epoch MATCHES "^[0-9]+$")
        set(epoch 0)
    endif()
endif()
# The revision lands in C++ and resource strings: keep it to characters that need no escaping.
string(REGEX REPLACE "[^A-Za-z0-9._+-]" "_" revision "${revision}")

function(write_if_changed path content)
    if(EXISTS "${path}")
        file(READ "${path}" old)
        if(old STREQUAL content)
            return()
        endif()
    endif()
    file(WRITE "${path}" "${content}")
endfunction()

write_if_changed("${HEADER}" "// Written by cmake/source_revision.cmake at build time.
#pragma once
#define GARUN2_SOURCE_REVISION \"${revision}\"
")
write_if_changed("${EPOCH_FILE}" "${epoch}\n")
