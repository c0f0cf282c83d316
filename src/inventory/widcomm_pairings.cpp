// The WIDCOMM pairing pass.
#include "inventory/widcomm_pairings.h"

// The pass arrives later.
void ScanWidcommPairings(CPortTestDlg* /*logSink*/) {}
