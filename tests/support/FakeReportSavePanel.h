#pragma once

#include "model/ReportSavePanel.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <optional>
#include <utility>
#include <vector>

namespace tess::test {

// A save panel that records what it is asked and answers as the test says:
// either later through answer(), or by itself on the next turn of the event
// loop with the answer given to setNextAnswer() (as the real panel, never
// inside open()).
class FakeReportSavePanel : public ReportSavePanel {
public:
    struct Call {
        ReportSaveRequest request;
        AppSettings::ReportFormat storedFormat;
    };

    void open(const ReportSaveRequest& request, AppSettings::ReportFormat storedFormat, Completion completion) override
    {
        calls.push_back({request, storedFormat});
        m_pending = std::move(completion);
        if (m_nextAnswer) {
            std::optional<ReportSaveChoice> choice = *m_nextAnswer;
            m_nextAnswer.reset();
            QMetaObject::invokeMethod(
                &m_context, [this, choice] { answer(choice); }, Qt::QueuedConnection);
        }
    }

    // Answers the open panel (nothing = the user cancelled).
    void answer(const std::optional<ReportSaveChoice>& choice)
    {
        if (Completion completion = std::exchange(m_pending, {})) {
            completion(choice);
        }
    }

    void setNextAnswer(std::optional<ReportSaveChoice> choice) { m_nextAnswer = std::move(choice); }

    bool isOpen() const { return static_cast<bool>(m_pending); }

    std::vector<Call> calls;

private:
    QObject m_context;  // queued answers die with the fake
    Completion m_pending;
    std::optional<std::optional<ReportSaveChoice>> m_nextAnswer;
};

}  // namespace tess::test
