#include "ui/settings/SavePresetSheet.h"

#include "model/MonitorViewModel.h"
#include "model/SettingsManager.h"
#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tess {

SavePresetSheet::SavePresetSheet(MonitorViewModel& model, QWidget* parent)
    : QDialog(parent)
    , m_model(model)
    , m_name(new QLineEdit(this))
    , m_reason(new QLabel(this))
    , m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
    , m_save(new QPushButton(QStringLiteral("Save"), this))
{
    setObjectName(QStringLiteral("savePresetSheet"));
    setWindowTitle(QStringLiteral("Save Preset As"));
    setWindowModality(Qt::WindowModal);

    auto* title = new QLabel(QStringLiteral("Save Preset As"), this);
    title->setTextFormat(Qt::PlainText);
    QFont headline = QApplication::font();
    headline.setBold(true);
    title->setFont(headline);
    m_name->setObjectName(QStringLiteral("presetNameLineEdit"));
    m_name->setPlaceholderText(QStringLiteral("Preset name"));
    m_name->setFixedWidth(250);
    m_reason->setObjectName(QStringLiteral("refusalLabel"));
    m_reason->setTextFormat(Qt::PlainText);
    m_reason->setWordWrap(true);
    m_reason->setFixedWidth(250);
    m_reason->setFont(theme::captionFont(QApplication::font()));
    m_reason->setForegroundRole(QPalette::PlaceholderText);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_cancel->setAutoDefault(false);
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_save->setAutoDefault(false);
    m_save->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(16);
    layout->addWidget(title, 0, Qt::AlignHCenter);
    auto* field = new QVBoxLayout;
    field->setSpacing(4);
    field->addWidget(m_name, 0, Qt::AlignHCenter);
    field->addWidget(m_reason, 0, Qt::AlignHCenter);
    layout->addLayout(field);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_save);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_save, &QPushButton::clicked, this, &SavePresetSheet::save);
    connect(m_name, &QLineEdit::textChanged, this, &SavePresetSheet::validate);
    // Saved presets may change while the sheet is open.
    connect(&m_model.settingsManager(), &SettingsManager::settingsChanged, this, &SavePresetSheet::validate);
    validate();
}

void SavePresetSheet::openEmpty()
{
    m_name->clear();
    validate();
    open();
    m_name->setFocus();
}

void SavePresetSheet::save()
{
    const Status saved = m_model.saveAsPreset(m_name->text().toStdString());
    if (saved.ok()) {
        accept();
    } else {
        m_reason->setText(QString::fromStdString(saved.error().message));
    }
}

void SavePresetSheet::validate()
{
    const QString name = m_name->text();
    const Status check = m_model.checkNewPresetName(name.toStdString());
    m_save->setEnabled(check.ok());
    // An empty field only disables "Save"; anything typed that is refused says why.
    const bool explain = !check.ok() && !name.isEmpty();
    m_reason->setText(explain ? QString::fromStdString(check.error().message) : QString());
    m_reason->setHidden(!explain);
    // As tall as the content at the fixed width: the reason may wrap.
    m_reason->setFixedHeight(explain ? m_reason->heightForWidth(m_reason->width()) : 0);
    layout()->invalidate();
    setFixedSize(kWidth, layout()->totalSizeHint().height());
}

}  // namespace tess
