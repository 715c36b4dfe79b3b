// Answers every message box of the window layer with the current answer while it lives, and keeps what
// each showed.
#pragma once

#include <vector>

#include "platform/MessageBox.h"

class MessageBoxAnswers {
  public:
    explicit MessageBoxAnswers(int first) : answer(first) {
        previous_ = SetMessageBoxHandler([this](const CString& text, UINT type) {
            shown.push_back(text);
            types.push_back(type);
            return this->answer;
        });
    }
    ~MessageBoxAnswers() { SetMessageBoxHandler(previous_); }
    MessageBoxAnswers(const MessageBoxAnswers&) = delete;
    MessageBoxAnswers& operator=(const MessageBoxAnswers&) = delete;

    int answer;
    std::vector<CString> shown;
    std::vector<UINT> types;

  private:
    MessageBoxHandler previous_;
};
