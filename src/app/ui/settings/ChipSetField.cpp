#include "ui/settings/ChipSetField.h"

#include "ui/settings/SetChip.h"
#include "ui/widgets/FlowLayout.h"

#include <QLineEdit>
#include <QToolButton>

#include <map>

namespace tess {

ChipSetField::ChipSetField(const QString& placeholder, int editWidth, QWidget* parent)
    : QWidget(parent)
    , m_flowWidget(new QWidget(this))
    , m_flow(new FlowLayout(m_flowWidget, 2, 2))
    , m_adder(m_flowWidget, placeholder, editWidth, font(), this, [this] { addTyped(); })
{
    m_flowWidget->setObjectName(QStringLiteral("chipFlowWidget"));
    m_flowWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_adder.button()->setToolTip(tr("Add"));
    m_flow->addWidget(m_adder.button());
}

void ChipSetField::setValue(const CanonicalStringSet& value)
{
    if (canonicallyEqualSets(value, m_value)) {
        // The same members; only their spelling may differ.
        m_value = value;
        auto chip = m_chips.begin();
        for (const std::string& member : m_value) {
            chip->first = member;
            chip->second->setText(chipText(member));
            ++chip;
        }
        return;
    }
    m_value = value;
    rebuildChips();
}

std::vector<SetChip*> ChipSetField::chips() const
{
    std::vector<SetChip*> result;
    result.reserve(m_chips.size());
    for (const auto& [member, chip] : m_chips) {
        result.push_back(chip);
    }
    return result;
}

void ChipSetField::openAddPopover()
{
    m_adder.open();
}

void ChipSetField::addTyped()
{
    const AddOutcome outcome = outcomeOf(m_adder.edit()->text());
    if (outcome.member) {
        // One write per add, as for any write through a binding, even when
        // the member is there already (the set then stays as it is).
        CanonicalStringSet changed = m_value;
        changed.insert(*outcome.member);
        changeValue(std::move(changed));
    }
    if (outcome.closes) {
        m_adder.close();
    }
}

void ChipSetField::rebuildChips()
{
    std::map<std::string, SetChip*, text::CanonicalLess> existing;
    for (auto& [member, chip] : m_chips) {
        existing.emplace(member, chip);
        m_flow->removeWidget(chip);
    }
    std::vector<std::pair<std::string, SetChip*>> chips;
    chips.reserve(m_value.size());
    for (const std::string& member : m_value) {
        SetChip* chip = nullptr;
        if (auto found = existing.find(member); found != existing.end()) {
            chip = found->second;
            existing.erase(found);
            chip->setText(chipText(member));
        } else {
            chip = new SetChip(chipText(member), m_flowWidget);
            connect(chip, &SetChip::removeRequested, this, [this, chip] {
                for (const auto& [shownMember, shown] : m_chips) {
                    if (shown == chip) {
                        remove(shownMember);
                        return;
                    }
                }
            });
        }
        chips.emplace_back(member, chip);
    }
    for (auto& [member, chip] : existing) {
        // Later: the chip may be the sender of the click being handled.
        chip->hide();
        chip->deleteLater();
    }
    m_chips = std::move(chips);
    int index = 0;
    for (auto& [member, chip] : m_chips) {
        m_flow->insertWidget(index++, chip);
        chip->show();
    }
}

void ChipSetField::remove(const std::string& member)
{
    CanonicalStringSet changed = m_value;
    changed.erase(member);
    changeValue(std::move(changed));
}

void ChipSetField::changeValue(CanonicalStringSet value)
{
    m_value = std::move(value);
    rebuildChips();
    emit valueChanged(m_value);
}

}  // namespace tess
