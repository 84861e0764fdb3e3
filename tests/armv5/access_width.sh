#!/bin/bash
# Checks that each access routine compiles to exactly one memory instruction, the one
# its table names (a load or store of the access's width).
#   access_width.sh OBJDUMP TABLE OBJECT...
set -u
objdump=$1 table=$2
shift 2
routines() { # each routine, a tab, and the instructions in it that touch memory
    "$objdump" -d -C --no-show-raw-insn "$@" | awk -F '\t' '
        /^[0-9a-f]+ <.*>:$/ { if (f) print f "\t" m; f = substr($0, index($0, "<") + 1); m = "" }
        $2 ~ /^(ldr|str|ldm|stm|push|pop|swp)/ { m = m (m ? " " : "") $2 }
        END { if (f) print f "\t" m }' | sed 's/>:\t/\t/' | sort
}
diff <(grep -v '^#' "$table" | sort) <(routines "$@") && echo "PASS: $(grep -vc '^#' "$table") routines"
