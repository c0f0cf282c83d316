// Text values as the registry hands them back: ending them inside the buffer
// they were copied into.
#pragma once

#include "platform/platform.h"

// The registry copies a text value as stored: without a NUL when it was
// stored without one, and with no room left for one when it fills the
// buffer. Makes the `length` bytes written into `text` (of `capacity` bytes)
// a text that ends inside the buffer; false when the value filled the buffer
// without a NUL of its own, so that its last byte had to give way.
bool TerminateText(char* text, DWORD capacity, DWORD length);
