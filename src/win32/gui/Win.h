// <windows.h> for the window layer, without its MessageBox macro: Host::MessageBox is a
// member of our own and must keep its name in every file that sees it.
#pragma once

#include <windows.h>
#undef MessageBox
