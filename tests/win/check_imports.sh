#!/bin/sh
# Fails when the program imports a DLL that Windows might load from the
# program's own folder, or (given LIST) a function that is not on the list of
# functions Windows 2000 has. Lists every import it finds.
#   check_imports.sh OBJDUMP EXE [LIST]
# Windows takes an imported DLL from its system directory only when the DLL is
# one of its known DLLs (the KnownDLLs registry key); any other it looks for
# first in the program's folder, often a download folder where anyone can
# leave a file of that name. So only DLLs known on every Windows from 2000 to
# 11 are imported; every other system DLL is loaded at run time by the full
# path of the system directory (framework/AfxSystemDll.h).
# LIST: "name.dll:" lines, each followed by that DLL's functions, one a line;
# "#" starts a comment. DLL names are compared without regard to case.
set -eu
objdump=$1
exe=$2
list=${3:-}
"$objdump" -p "$exe" | awk -v list="$list" '
BEGIN {
    # Known on Windows 2000 and every later one, plus msvcrt.dll, the C
    # runtime every such program imports: known from Vista on, and on 2000
    # and XP loaded by the known ones (shell32, advapi32), whose dependencies
    # the system takes from its own directory too.
    n = split("kernel32.dll user32.dll gdi32.dll shell32.dll advapi32.dll comdlg32.dll " \
              "ole32.dll oleaut32.dll rpcrt4.dll msvcrt.dll", names, " ")
    for (i = 1; i <= n; ++i)
        known[names[i]] = 1
    while (list != "" && (getline line < list) > 0) {
        sub(/#.*/, "", line)
        gsub(/[ \t\r]/, "", line)
        if (line ~ /:$/)
            dll = tolower(substr(line, 1, length(line) - 1))
        else if (line != "")
            allowed[dll " " line] = 1
    }
    dll = ""
}
/^\tDLL Name: / {
    dll = tolower($3)
    print "dll: " dll
    if (!(dll in known))
        unknown = unknown " " dll
    next
}
# An import line: "\t<vma>\t<hint> <name>" (an import by ordinal has no name).
dll != "" && /^\t[0-9a-f]+\t/ {
    name = NF >= 3 ? $3 : "#" $2
    print "import: " dll " " name
    if (list != "" && !((dll " " name) in allowed))
        refused = refused " " dll " " name
    next
}
/^$/ && dll != "" { dll = "" }
END {
    if (unknown != "")
        print "imported DLLs Windows might load from the program'"'"'s folder:" unknown
    if (refused != "")
        print "imports outside the Windows 2000 list:" refused
    if (unknown != "" || refused != "")
        exit 1
}
'
