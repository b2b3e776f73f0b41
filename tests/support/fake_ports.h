#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "feedback/feedback.h"
#include "feedback/save_file_question.h"
#include "feedback/wait_cursor.h"

namespace mirebolt::testing {

// Counts the wait cursor's starts and ends.
class FakeBusy : public feedback::BusyIndicator {
  public:
    void ShowBusy() override {
        EXPECT_FALSE(busy) << "the wait cursor was set twice";
        busy = true;
        ++starts;
    }
    void ShowIdle() override {
        EXPECT_TRUE(busy) << "the cursor was put back without being set";
        busy = false;
        ++ends;
    }
    bool busy = false;
    int starts = 0;
    int ends = 0;
};

// One message as the person would have seen it.
struct Shown {
    enum class Kind { Warning, Information, Error, Question } kind;
    std::string text;
    std::string title;
    feedback::QuestionIcon icon = feedback::QuestionIcon::Warning;
    bool whileBusy = false;
};

// Records every message and answers the questions from a script; a question the script does
// not foresee fails the test.
class RecordingFeedback : public feedback::Feedback {
  public:
    explicit RecordingFeedback(const FakeBusy* busy = nullptr,
                               std::deque<feedback::Answer> answers = {})
        : busy_(busy), answers_(std::move(answers)) {}

    void ShowWarning(const std::string& text) override {
        Record(Shown::Kind::Warning, text, "Warning");
    }
    void ShowInformation(const std::string& text) override {
        Record(Shown::Kind::Information, text, "Information");
    }
    void ShowError(const std::string& message) override {
        Record(Shown::Kind::Error, message, "Error");
    }
    feedback::Answer AskYesNo(const std::string& text, const std::string& title,
                              feedback::QuestionIcon icon) override {
        Record(Shown::Kind::Question, text, title);
        shown.back().icon = icon;
        if (atQuestion) {
            atQuestion();
        }
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected question: " << text;
            return feedback::Answer::No;
        }
        const feedback::Answer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    std::vector<Shown> shown;
    // Acts while a question is open, as another program could while the person thinks.
    std::function<void()> atQuestion;

  private:
    void Record(Shown::Kind kind, const std::string& text, const std::string& title) {
        shown.push_back(Shown{kind, text, title, feedback::QuestionIcon::Warning,
                              busy_ != nullptr && busy_->busy});
    }

    const FakeBusy* busy_;
    std::deque<feedback::Answer> answers_;
};

// The only message shown was of this kind and text.
inline void ExpectOnlyMessage(const RecordingFeedback& feedback, Shown::Kind kind,
                              const std::string& text) {
    ASSERT_EQ(feedback.shown.size(), 1u);
    EXPECT_EQ(feedback.shown[0].kind, kind);
    EXPECT_EQ(feedback.shown[0].text, text);
}

// Answers the Save question from a script; an unforeseen question fails the test.
class ScriptedSaveQuestion : public feedback::SaveFileQuestion {
  public:
    explicit ScriptedSaveQuestion(std::deque<std::optional<std::string>> answers = {})
        : answers_(std::move(answers)) {}

    std::optional<std::string> AskSaveFileName(const std::string& besides) override {
        ++asked;
        askedBesides = besides;
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected Save question";
            return std::nullopt;
        }
        auto answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    int asked = 0;
    std::string askedBesides;

  private:
    std::deque<std::optional<std::string>> answers_;
};

}  // namespace mirebolt::testing
