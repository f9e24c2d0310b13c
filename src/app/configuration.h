#pragma once

#include "app/process_values.h"

#include <cstdint>
#include <string_view>

namespace norvane::app {

/// An ini integer: hexadecimal when three or more characters begin "0x" or "0X", else
/// decimal; anything else gives defaultValue.
std::int32_t IniIntegerValue(std::string_view text, std::int32_t defaultValue);

/// Reads PathBaseIB, NameServer and TypeServer from section Common of IniPath, and puts the
/// default database beside the installer when no path is configured; and the installer's own
/// settings from section Update (OneTransactionPerStatement, BackupFolder, LockWaitSeconds).
void ReadConfiguration(ProcessValues& values);

} // namespace norvane::app
