#pragma once

#include "report/RenameReport.h"
#include "ui/history/RenameReportViewState.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QListView;
class QMenu;
class QStackedWidget;

namespace tess {

class Workspace;

// The outcome of one rename or undo batch as a 700×500 sheet: the date and
// the badges of the counts, a section control over the lists that have
// entries, the chosen list with a context menu per row (reveal in the file
// manager, copy the path), "Export" (runs `onExport`) and "Done" (Return).
// Reveals and copies go through `workspace`, which must outlive the view.
class RenameReportView : public QDialog {
    Q_OBJECT

public:
    using ReportTab = RenameReportViewState::ReportTab;

    RenameReportView(RenameReport report, std::function<void()> onExport, Workspace& workspace, QWidget* parent = nullptr);
    ~RenameReportView() override;

    const RenameReport& report() const;
    ReportTab selectedTab() const { return m_selectedTab; }
    void selectTab(ReportTab tab);

    // The context menu of row `row` of `tab`; the caller owns it.
    QMenu* makeContextMenu(ReportTab tab, int row, QWidget* parent);
    // Runs one context-menu entry.
    void run(const RenameReportViewState::MenuEntry& entry);

protected:
    void changeEvent(QEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeSectionControl();
    QWidget* makePage(ReportTab tab);
    QWidget* makeFooter();
    void applyColors();

    std::shared_ptr<const RenameReport> m_report;
    std::function<void()> m_onExport;
    Workspace& m_workspace;
    RenameReportViewState::Counts m_counts;
    ReportTab m_selectedTab = ReportTab::renamed;
    QButtonGroup* m_sections = nullptr;
    QStackedWidget* m_pages = nullptr;
    std::array<QLabel*, 4> m_badgeCounts {};
    std::vector<QLabel*> m_secondaryLabels;
};

}  // namespace tess
