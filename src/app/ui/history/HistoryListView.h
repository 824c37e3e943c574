#pragma once

#include "history/TransformationHistory.h"
#include "report/RenameReport.h"
#include "ui/history/HistoryListViewState.h"
#include "ui/history/RenameReportView.h"

#include <QDialog>
#include <QMessageBox>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QListView;
class QStackedWidget;

namespace tess {

class HistoryListModel;
class MonitorViewModel;
class ReportSavePanel;
class Workspace;

// The transformation history as a 600×450 sheet: one row per history file
// (newest first) with the batch's folder, date and item count, and buttons
// to open its report, undo it (rename batches only, in their own open
// folder) and delete the file. The list is read from the model's history folder on a worker thread each time
// the sheet is shown and after a delete; a report is read and parsed there
// too. `model`, `savePanel` and `workspace` must outlive the view.
class HistoryListView : public QDialog {
    Q_OBJECT

public:
    using Entry = TransformationHistory::HeaderSummary;

    enum class RowButton {
        viewReport,
        undo,
        deleteEntry,
    };

    HistoryListView(MonitorViewModel& model, ReportSavePanel& savePanel, Workspace& workspace, QWidget* parent = nullptr);
    ~HistoryListView() override;

    const std::vector<Entry>& entries() const;
    // Whether a load of the list has finished since the view was shown.
    bool isLoaded() const { return m_loaded; }

    // Reads the list again on a worker thread.
    void loadEntries();
    // The row buttons' actions.
    void viewReport(const Entry& entry);
    void confirmDelete(const Entry& entry);
    void confirmUndo(const Entry& entry);
    // Asks where to save `report`, then writes it on a worker thread; a
    // failure is logged and shown in an "Export Failed" alert that names
    // the chosen file.
    void exportReport(const RenameReport& report);
    // Whether a row's "Undo" is offered now, and why not.
    HistoryListViewState::UndoAvailability undoAvailability(const Entry& entry) const;

    // The alert or report sheet open over the list, if any.
    QMessageBox* alert() const { return m_alert; }
    RenameReportView* reportView() const { return m_reportView; }
    // The alert of the last failed export while it is open.
    QMessageBox* exportAlert() const { return m_exportAlert; }

    // Where a row's button sits within the row's rectangle.
    static QRect buttonRect(const QRect& rowRect, RowButton button);
    // How the list shows a date: medium date and short time of the locale.
    static QString dateText(TransformationHistory::TimePoint time);

signals:
    // A load of the list was applied.
    void entriesLoaded();
    // A report could not be opened (the failure is logged).
    void reportFailed();
    // An export finished, written or not.
    void exportFinished();

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct AlertText {
        QString objectName;
        QString title;
        std::string message;
        QString confirmTitle;
        QString confirmObjectName;
    };
    // A window-modal alert with "Cancel" and a destructive confirmation,
    // which runs `onConfirm`.
    QWidget* makeHeader();
    QWidget* makeEmptyState(QWidget* parent);
    QWidget* makeList(QWidget* parent);
    QWidget* makeFooter();
    void openAlert(const AlertText& text, std::function<void()> onConfirm);
    void showExportFailure(const std::string& message);
    // A read of the list: the entries, and whether each was made in the
    // folder that was open (`source`) when it was read.
    struct Loaded {
        std::vector<Entry> entries;
        std::vector<bool> inSourceFolder;
        std::optional<std::string> source;
    };
    void applyEntries(Loaded loaded);
    void deleteEntry(const Entry& entry);
    void applyColors();
    void changeEvent(QEvent* event) override;

    MonitorViewModel& m_model;
    ReportSavePanel& m_savePanel;
    Workspace& m_workspace;
    HistoryListModel* m_listModel;
    QListView* m_list = nullptr;
    QStackedWidget* m_content = nullptr;
    QLabel* m_countLabel = nullptr;
    std::vector<QLabel*> m_secondaryLabels;
    QLabel* m_tertiaryLabel = nullptr;
    QLabel* m_emptySymbol = nullptr;
    QPointer<QMessageBox> m_alert;
    QPointer<RenameReportView> m_reportView;
    QPointer<QMessageBox> m_exportAlert;
    std::uint64_t m_generation = 0;
    bool m_loaded = false;
};

}  // namespace tess
