#pragma once

#include <QDialog>

class QGridLayout;
class QLabel;
class QPushButton;

namespace tess {

class MonitorViewModel;

// What a destination probe found, for the user to take as the destination
// ("Apply", Return) or drop ("Cancel", Escape). A window-modal sheet of the
// advanced settings panel; its content follows the model (the path-length
// note follows the client systems). Closing it by any other way than
// "Apply" drops the probe's result.
class DestinationTestResultsSheet : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWidth = 380;

    explicit DestinationTestResultsSheet(MonitorViewModel& model, QWidget* parent = nullptr);

    QLabel* pathLabel() const { return m_path; }
    QLabel* summaryLabel() const { return m_summary; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* applyButton() const { return m_apply; }
    // The shown rows as label, value and note texts (an empty note: none).
    QList<QStringList> rowTexts() const;

    // `path` middle-elided to fit two lines of `width` in `metrics`, split
    // where the first line is full.
    static QString twoLinePath(const QString& path, const QFontMetrics& metrics, int width);

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void showPath();
    void applyColors();

    MonitorViewModel& m_model;
    QLabel* m_title;
    QLabel* m_path;
    QLabel* m_summary;
    QWidget* m_rowsWidget;
    QGridLayout* m_rows;
    QLabel* m_note;
    QPushButton* m_cancel;
    QPushButton* m_apply;
    QList<QLabel*> m_noteLabels;
};

}  // namespace tess
