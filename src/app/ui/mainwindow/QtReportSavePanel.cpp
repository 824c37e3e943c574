#include "ui/mainwindow/QtReportSavePanel.h"

#include "report/ReportService.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

namespace tess {

namespace {

using ReportFormat = AppSettings::ReportFormat;

QString extensionOf(ReportFormat format)
{
    return QString::fromLatin1(ReportService::fileExtension(format));
}

QString filterOf(ReportFormat format)
{
    return QString::fromLatin1(format == ReportFormat::csv ? QtReportSavePanel::kCsvFilter
                                                           : QtReportSavePanel::kJsonFilter);
}

// The second entry of the pop-up is CSV; anything else means JSON.
ReportFormat formatOfFilter(const QString& filter)
{
    return filter == QLatin1String(QtReportSavePanel::kCsvFilter) ? ReportFormat::csv : ReportFormat::json;
}

// Gives the name being typed the extension of `format`, keeping its base.
void applyFormat(QFileDialog* dialog, ReportFormat format)
{
    const QString extension = extensionOf(format);
    dialog->setDefaultSuffix(extension);
    auto* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!nameEdit) {
        return;
    }
    const std::string renamed
        = ReportService::replaceExtension(nameEdit->text().toStdString(), extension.toStdString());
    nameEdit->setText(QString::fromStdString(renamed));
}

}  // namespace

QtReportSavePanel::QtReportSavePanel(QWidget* parent)
    : m_parent(parent)
    , m_startFolder(QDir::homePath())
{
}

void QtReportSavePanel::open(const ReportSaveRequest& request, ReportFormat storedFormat, Completion completion)
{
    auto* dialog = new QFileDialog(m_parent, request.title);
    dialog->setObjectName(QStringLiteral("reportSaveDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setLabelText(QFileDialog::FileType, QStringLiteral("Format:"));
    dialog->setNameFilters({QString::fromLatin1(kJsonFilter), QString::fromLatin1(kCsvFilter)});
    dialog->selectNameFilter(filterOf(storedFormat));
    dialog->setDefaultSuffix(extensionOf(storedFormat));
    dialog->setDirectory(m_startFolder);
    dialog->selectFile(request.defaultName + QLatin1Char('.') + extensionOf(storedFormat));

    // The pop-up's index changes before the dialog applies the new filter
    // (which would turn ".hidden" into ".json"), so the name is rewritten
    // first and the dialog then finds its extension already right.
    if (auto* formatPopup = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        connect(formatPopup, &QComboBox::currentIndexChanged, dialog, [dialog, formatPopup](int index) {
            applyFormat(dialog, formatOfFilter(formatPopup->itemText(index)));
        });
    }
    connect(dialog, &QDialog::finished, this, [this, dialog, completion = std::move(completion)](int result) {
        const QString path = dialog->selectedFiles().value(0);
        if (result != QDialog::Accepted || path.isEmpty()) {
            completion(std::nullopt);
            return;
        }
        m_startFolder = QFileInfo(path).absolutePath();
        completion(ReportSaveChoice {path, formatOfFilter(dialog->selectedNameFilter())});
    });
    m_dialog = dialog;
    dialog->open();
}

}  // namespace tess
