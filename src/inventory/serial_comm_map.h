// The pass over the registry's serial-port map, HARDWARE\DEVICEMAP\SERIALCOMM.
#pragma once

// No caller uses the result.
int ScanSerialCommMap();
