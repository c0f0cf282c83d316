// Whether this 32-bit program runs on 64-bit Windows.
#pragma once

// True under WOW64. Windows 95, 98, Me, NT 4 and 2000 have no
// IsWow64Process, so it is looked up at run time; where it is missing or
// fails, there is no WOW64.
bool RunsUnderWow64();
