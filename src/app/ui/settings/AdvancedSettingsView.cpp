#include "ui/settings/AdvancedSettingsView.h"

#include "model/MonitorViewModel.h"
#include "ui/settings/DestinationCapabilitiesCard.h"
#include "ui/settings/DestinationTestResultsSheet.h"
#include "ui/settings/PreferencesCard.h"
#include "ui/settings/PresetBar.h"
#include "ui/settings/SettingsCardParts.h"
#include "ui/settings/TranslationTableCard.h"
#include "ui/widgets/Theme.h"

#include <QFrame>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTextDocument>
#include <QVBoxLayout>

namespace tess {

AdvancedSettingsView::AdvancedSettingsView(MonitorViewModel& model, QWidget* parent, SystemSound* sound)
    : QWidget(parent)
    , m_model(model)
    , m_scrollArea(new QScrollArea(this))
    , m_sections(new QVBoxLayout)
    , m_preferencesCard(new PreferencesCard(model))
    , m_destinationCard(new DestinationCapabilitiesCard(model, nullptr, sound))
    , m_translationCard(new TranslationTableCard(model))
    , m_presetBar(new PresetBar(model, this))
    , m_testResults(new DestinationTestResultsSheet(model, this))
    , m_testFailed(new QMessageBox(this))
{
    setObjectName(QStringLiteral("advancedSettingsView"));
    auto* panel = new QVBoxLayout(this);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->setSpacing(0);

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("sectionsWidget"));
    content->setAutoFillBackground(false);
    content->setLayout(m_sections);
    m_sections->setSpacing(12);
    m_sections->addWidget(m_preferencesCard);
    m_sections->addWidget(m_destinationCard);
    m_sections->addWidget(m_translationCard);
    // A stretch, not a top alignment: that would size the column by its size
    // hint and cut off the cards whose height follows their width.
    m_sections->addStretch(1);
    m_scrollArea->setObjectName(QStringLiteral("sectionsScrollArea"));
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    m_scrollArea->setWidget(content);
    panel->addWidget(m_scrollArea, 1);

    panel->addWidget(settingsCard::divider(this));
    panel->addWidget(m_presetBar);

    connect(m_testResults, &QDialog::finished, this, [this] {
        // Closed by the user (a closing that follows the model finds the path gone).
        if (m_model.pendingProbePath()) {
            m_model.clearDetectedCapabilities();
        }
    });
    connect(&m_model, &MonitorViewModel::pendingProbePathChanged, this, &AdvancedSettingsView::followPendingProbe);

    m_testFailed->setObjectName(QStringLiteral("testFailedAlert"));
    m_testFailed->setWindowModality(Qt::WindowModal);
    m_testFailed->setIcon(QMessageBox::Warning);
    m_testFailed->setWindowTitle(QStringLiteral("Test Failed"));
    m_testFailed->setText(QStringLiteral("Test Failed"));
    m_testFailed->setTextFormat(Qt::PlainText);
    QPushButton* ok = m_testFailed->addButton(QStringLiteral("OK"), QMessageBox::RejectRole);
    ok->setObjectName(QStringLiteral("okButton"));
    m_testFailed->setDefaultButton(ok);
    m_testFailed->setEscapeButton(ok);
    connect(m_testFailed, &QDialog::finished, this, [this] {
        if (m_model.probeErrorMessage()) {
            m_model.clearProbeErrorMessage();
        }
    });
    connect(&m_model, &MonitorViewModel::probeErrorMessageChanged, this, &AdvancedSettingsView::followProbeError);

    followPendingProbe();
    followProbeError();
}

void AdvancedSettingsView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), theme::withOpacity(palette().color(QPalette::Base), 0.5));
}

void AdvancedSettingsView::followPendingProbe()
{
    if (m_model.pendingProbePath()) {
        if (!m_testResults->isVisible()) {
            m_testResults->open();
        }
    } else if (m_testResults->isVisible()) {
        m_testResults->reject();
    }
}

void AdvancedSettingsView::followProbeError()
{
    const std::optional<std::string>& message = m_model.probeErrorMessage();
    if (message) {
        // The message is shown as given: informative text is rich, so it is escaped.
        m_testFailed->setInformativeText(Qt::convertFromPlainText(QString::fromStdString(*message)));
        if (!m_testFailed->isVisible()) {
            m_testFailed->open();
        }
    } else if (m_testFailed->isVisible()) {
        m_testFailed->reject();
    }
}

}  // namespace tess
