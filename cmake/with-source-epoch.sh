#!/bin/sh
# Runs a command with SOURCE_DATE_EPOCH from the build's epoch file (cmake/source_revision.cmake):
# the linker, strip and objcopy then stamp the exe's PE header with the commit's time instead of
# the clock, so two builds of one commit are the same bytes.
# Usage: with-source-epoch.sh EPOCH_FILE COMMAND [ARGUMENT ...]
epoch_file=$1
shift
SOURCE_DATE_EPOCH=$(cat "$epoch_file") || exit 1
export SOURCE_DATE_EPOCH
exec "$@"
