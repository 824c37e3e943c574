#include "ui/settings/SettingsSheetState.h"

#include <QLocale>

#include <cmath>

namespace tess::SettingsSheetState {

namespace {

// `value` rounded to `decimals` places, trailing zeros dropped.
QString decimalText(double value, int decimals)
{
    QString text = QLocale(QLocale::English, QLocale::UnitedStates).toString(value, 'f', decimals);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0')) {
            text.chop(1);
        }
        if (text.endsWith(u'.')) {
            text.chop(1);
        }
    }
    return text;
}

}  // namespace

QString databaseSizeText(std::uint64_t bytes)
{
    if (bytes == 0) {
        return QStringLiteral("0 KB");
    }
    struct Unit {
        const char* name;
        double size;
        int decimals;
    };
    static constexpr Unit kUnits[] = {{"KB", 1e3, 0}, {"MB", 1e6, 1}, {"GB", 1e9, 2}};
    const double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    // The largest unit the value reaches, moving up when rounding would show
    // 1000 of the smaller one.
    while (unit + 1 < std::size(kUnits)) {
        const double scaled = value / kUnits[unit].size;
        const double factor = std::pow(10.0, kUnits[unit].decimals);
        if (std::round(scaled * factor) / factor < 1000.0) {
            break;
        }
        ++unit;
    }
    const double shown = std::max(value / kUnits[unit].size, unit == 0 ? 1.0 : 0.0);
    return decimalText(shown, kUnits[unit].decimals) + u' ' + QLatin1String(kUnits[unit].name);
}

QString databaseCountText(std::int64_t count)
{
    return QString::number(count) + QStringLiteral(" files");
}

DaemonBlock daemonBlock(ServiceStatus status, bool isHelperReady)
{
    DaemonBlock block;
    block.ready = isHelperReady;
    block.statusText = isHelperReady ? QStringLiteral("Helper is running") : QStringLiteral("Helper not available");
    block.opensServiceSettings = status == ServiceStatus::enabled;
    block.buttonTitle = block.opensServiceSettings ? QStringLiteral("systemd") : QStringLiteral("Enable Helper");
    block.showsActionBox = !isHelperReady;
    block.step1 = QStringLiteral("1. Click '") + block.buttonTitle + QStringLiteral("' above.");
    block.step2 = QStringLiteral("2. Allow 'app.quenby.tessaline.helper.service' to be enabled in systemd.");
    block.step3 = QStringLiteral("3. Enter your password when prompted. The helper then starts at once.");
    return block;
}

}  // namespace tess::SettingsSheetState
