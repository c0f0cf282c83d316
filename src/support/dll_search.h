// The process's DLL search, narrowed at start where the system allows it.
#pragma once

// Takes the exe's folder and the current directory out of the search for the
// rest of the process where the system offers the calls: on Windows 8 and
// later (Vista and 7 with the update that adds it) only the system directory
// is searched; from Windows XP Service Pack 1 on the current directory is
// dropped. Older systems lack both, and a call that fails changes nothing:
// either way the program goes on as it is. True when only the system
// directory is searched from now on.
bool NarrowDllSearch();
