#!/bin/sh
# check_exports.sh PLUGIN: the plug-in's dynamic symbol table defines getSharedLibrary, a
# function, and nothing else; any other export would let one plug-in run another's code.
exports=$(nm -D --defined-only "$1") || exit 1
if [ "$(printf '%s\n' "$exports" | awk '{print $2 " " $3}')" != "T getSharedLibrary" ]; then
    echo "$1 exports more or other than getSharedLibrary:"
    printf '%s\n' "$exports"
    exit 1
fi
