#pragma once

// A dialog service for tests: records every box and answers open-file dialogs from a queue,
// without showing anything.

#include <QFileDialog>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "app/dialog_service.h"

namespace vaq::app::testing {

class RecordingDialogs : public DialogService {
  public:
    void show_message(const BoxRequest& box) override {
        boxes.push_back(box);
        if (onMessage) onMessage(box);
    }

    std::optional<QString> choose_file(QFileDialog& dialog) override {
        dialogsShown.push_back(dialog.objectName());
        if (fileAnswers.empty()) return std::nullopt;
        const QString answer = fileAnswers.front();
        fileAnswers.pop_front();
        if (answer.isNull()) return std::nullopt;
        return answer;
    }

    // Questions are recorded and wait for a test to answer them through `answer_question`.
    void ask_then_call(const BoxRequest& box, std::function<void(bool yes)> answered) override {
        questions.push_back(box);
        pendingAnswer = std::move(answered);
        if (onQuestion) onQuestion(box);
    }
    void answer_question(bool yes) {
        auto answered = std::move(pendingAnswer);
        pendingAnswer = nullptr;
        if (answered) answered(yes);
    }

    std::vector<BoxRequest> boxes;
    std::vector<BoxRequest> questions;
    std::function<void(bool yes)> pendingAnswer;
    std::function<void(const BoxRequest&)> onQuestion;
    std::function<void(const BoxRequest&)> onMessage;
    std::vector<QString> dialogsShown;
    // The files chosen, one per dialog shown; a null text cancels, as does an empty queue.
    std::deque<QString> fileAnswers;
};

}  // namespace vaq::app::testing
