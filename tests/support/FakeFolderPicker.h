#pragma once

#include "model/FolderPicker.h"

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tess::test {

// Answers the folder chooser at once with the next queued answer; an empty
// queue or an empty answer cancels. Keeps each message and prompt shown.
class FakeFolderPicker : public FolderPicker {
public:
    void chooseFolder(const std::string& message, const std::string& prompt, Completion done) override
    {
        asked.emplace_back(message, prompt);
        std::optional<std::string> answer;
        if (!answers.empty()) {
            answer = std::move(answers.front());
            answers.pop_front();
        }
        done(answer);
    }

    std::deque<std::optional<std::string>> answers;
    std::vector<std::pair<std::string, std::string>> asked;
};

}  // namespace tess::test
