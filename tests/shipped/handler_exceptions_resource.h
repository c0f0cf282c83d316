// Identifier of the handler test's dialog template.
#pragma once

#define IDD_HANDLER_TEST 100
