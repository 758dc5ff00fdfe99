#!/bin/sh
# Fails when the 32-bit program imports a function that is not on the list of
# functions Windows 2000 has: anything newer must be looked up at run time, or
# the program no longer starts there. Lists every import it finds.
#   check_imports.sh OBJDUMP EXE LIST
# LIST: "name.dll:" lines, each followed by that DLL's functions, one a line;
# "#" starts a comment. DLL names are compared without regard to case.
set -eu
objdump=$1
exe=$2
list=$3
"$objdump" -p "$exe" | awk -v list="$list" '
BEGIN {
    while ((getline line < list) > 0) {
        sub(/#.*/, "", line)
        gsub(/[ \t\r]/, "", line)
        if (line ~ /:$/)
            dll = tolower(substr(line, 1, length(line) - 1))
        else if (line != "")
            allowed[dll " " line] = 1
    }
    dll = ""
}
/^\tDLL Name: / { dll = tolower($3); next }
# An import line: "\t<vma>\t<hint> <name>" (an import by ordinal has no name).
dll != "" && /^\t[0-9a-f]+\t/ {
    name = NF >= 3 ? $3 : "#" $2
    print "import: " dll " " name
    if (!((dll " " name) in allowed))
        refused = refused " " dll " " name
    next
}
/^$/ && dll != "" { dll = "" }
END {
    if (refused != "") {
        print "imports outside the Windows 2000 list:" refused
        exit 1
    }
}
'
