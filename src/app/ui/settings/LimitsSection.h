#pragma once

#include <QWidget>

#include <array>
#include <cstdint>

class QCheckBox;

namespace tess {

class MonitorViewModel;
class OptionalIntSettingsField;
class ReservedNameSetField;
class SystemSound;
struct TransformationSettings;

// The "Limits" and "Reserved names" rows of the destination section, one
// above the other with a divider between them: the case toggle, the four
// optional limits and the reserved names of the active settings. Every edit
// writes its one field through one store of the model; the rows refresh in
// place when the settings change.
class LimitsSection : public QWidget {
    Q_OBJECT

public:
    // The four limits in display order.
    enum Limit { fileName,
        folderName,
        pathDepth,
        pathLength };
    static constexpr int kLimitCount = 4;

    // `sound`: the limit fields' alert sound; null is the system's.
    LimitsSection(MonitorViewModel& model, QWidget* parent = nullptr, SystemSound* sound = nullptr);

    QCheckBox* caseConflictsBox() const { return m_caseConflicts; }
    OptionalIntSettingsField* limitField(Limit limit) const { return m_limits[limit]; }
    ReservedNameSetField* reservedNamesField() const { return m_reservedNames; }

    // The setting a limit edits.
    static std::int64_t& setting(TransformationSettings& settings, Limit limit);

private:
    void refresh();

    MonitorViewModel& m_model;
    QCheckBox* m_caseConflicts;
    std::array<OptionalIntSettingsField*, kLimitCount> m_limits {};
    ReservedNameSetField* m_reservedNames;
};

}  // namespace tess
