// The interface table on Windows: GetIfTable of iphlpapi.
//
// The library is looked up when the object is made, by its full path in the
// system folder, and held until the object goes; a system without it still
// starts, and every call then throws tovi::Error ("cannot be called").
//
// One object per process, used on the window's thread only.
#pragma once

#include <memory>

#include "platform/interface_table.h"

namespace tovi::platform {

std::unique_ptr<InterfaceTable> makeInterfaceTable();

}  // namespace tovi::platform
