#pragma once

#include "model/ReportSavePanel.h"

#include <QFileDialog>
#include <QObject>
#include <QPointer>

namespace tess {

// The report save panel as a non-native QFileDialog in save mode. Its file
// type pop-up, labelled "Format:", offers "JSON (*.json)" and "CSV (*.csv)";
// switching it gives the typed name the extension of the new format. It
// opens in the folder of the last report saved through it during this run,
// at first the home folder. The dialog is window-modal over `parent` and
// deletes itself when closed.
class QtReportSavePanel : public QObject, public ReportSavePanel {
    Q_OBJECT

public:
    static constexpr const char* kJsonFilter = "JSON (*.json)";
    static constexpr const char* kCsvFilter = "CSV (*.csv)";

    explicit QtReportSavePanel(QWidget* parent);

    void open(const ReportSaveRequest& request, AppSettings::ReportFormat storedFormat, Completion completion) override;

    // The dialog shown by the last open(), while it is shown.
    QFileDialog* dialog() const { return m_dialog; }
    // The folder the next dialog opens in.
    const QString& startFolder() const { return m_startFolder; }

private:
    // Owned by whoever shares the panel (the view model), not by `parent`.
    QPointer<QWidget> m_parent;
    QPointer<QFileDialog> m_dialog;
    QString m_startFolder;
};

}  // namespace tess
