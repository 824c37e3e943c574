#include "ui/settings/ChipAdder.h"

#include "ui/widgets/PopoverFrame.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace tess {

namespace {

constexpr int kAddSymbolSize = 9;

}  // namespace

ChipAdder::ChipAdder(QWidget* flowWidget, const QString& placeholder, int editWidth, const QFont& base, QObject* receiver,
    std::function<void()> add)
    : m_button(new QToolButton(flowWidget))
    , m_popover(new PopoverFrame(m_button))
    , m_edit(new QLineEdit(m_popover))
    , m_push(new QPushButton(QStringLiteral("Add"), m_popover))
{
    m_button->setObjectName(QStringLiteral("addToolButton"));
    m_button->setAutoRaise(true);
    m_button->setIcon(symbol::icon("plus"));
    m_button->setIconSize(QSize(kAddSymbolSize, kAddSymbolSize));
    QObject::connect(m_button, &QToolButton::clicked, receiver, [adder = *this] { adder.open(); });

    m_popover->setObjectName(QStringLiteral("addPopoverFrame"));
    auto* layout = new QHBoxLayout(m_popover);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    m_edit->setObjectName(QStringLiteral("addLineEdit"));
    m_edit->setPlaceholderText(placeholder);
    m_edit->setFixedWidth(editWidth);
    m_edit->setFont(theme::monospacedCaptionFont(base));
    m_push->setObjectName(QStringLiteral("addPushButton"));
    m_push->setFont(theme::captionFont(base));
    m_push->setDefault(true);
    m_push->setEnabled(false);
    layout->addWidget(m_edit);
    layout->addWidget(m_push);
    QObject::connect(m_edit, &QLineEdit::textChanged, m_push, [push = m_push](const QString& text) { push->setEnabled(!text.isEmpty()); });
    QObject::connect(m_edit, &QLineEdit::returnPressed, receiver, add);
    QObject::connect(m_push, &QPushButton::clicked, receiver, std::move(add));
}

void ChipAdder::open() const
{
    m_edit->clear();
    m_popover->popUp();
    m_edit->setFocus(Qt::PopupFocusReason);
}

void ChipAdder::close() const
{
    m_edit->clear();
    m_popover->hide();
}

}  // namespace tess
