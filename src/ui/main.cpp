// The exe's start: the objects that live for the whole process, constructed
// in this order and destroyed in reverse, and the entry point.
#include "platform/platform.h"
#include "support/block_pool.h"
#include "ui/port_test_app.h"

namespace {

// The runtime's multibyte string functions follow the system's ANSI code page.
constexpr int kAnsiCodePage = -3;
[[maybe_unused]] const int codePageSet = _setmbcp(kAnsiCodePage);

}  // namespace

CPortTestApp theApp;

namespace {

// Constructed after the application object, so given back before it at exit.
[[maybe_unused]] CBlockPool& processPool = ThePool();

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    return AfxWinMain(instance, previous, commandLine, show);
}
