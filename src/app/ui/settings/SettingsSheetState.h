#pragma once

#include "platform/ServiceManager.h"

#include <QString>

#include <cstdint>

namespace tess {

// What the settings sheet shows, as plain values.
namespace SettingsSheetState {

// "0 KB" for nothing; else decimal units limited to KB, MB and GB
// ("1.5 MB", "3.21 GB").
QString databaseSizeText(std::uint64_t bytes);
// "N files", N in plain decimal.
QString databaseCountText(std::int64_t count);

// The daemon block below "Use privileged helper for renames".
struct DaemonBlock {
    bool ready = false;  // the circle is green, else orange
    QString statusText;  // "Helper is running" / "Helper not available"
    QString buttonTitle;  // "systemd" when the service is enabled, else "Enable Helper"
    bool opensServiceSettings = false;  // the button asks to enable the service, else to approve
    bool showsActionBox = false;  // the steps, while the daemon is not ready
    QString step1;
    QString step2;
    QString step3;
};
DaemonBlock daemonBlock(ServiceStatus status, bool isHelperReady);

}  // namespace SettingsSheetState

}  // namespace tess
