#pragma once

#include <string>

namespace halcyra {

// Whether the computer runs on battery power, judged from the power supplies listed under `powerSupplyRoot`
// (a /sys/class/power_supply-like folder): true when a battery is present and no mains or USB supply is
// online; when the system lists no such supply, true only when a battery reports that it is discharging.
// A computer without batteries, or one whose supplies cannot be read, is not on battery power.
bool onBatteryPower(const std::string& powerSupplyRoot = "/sys/class/power_supply");

} // namespace halcyra
