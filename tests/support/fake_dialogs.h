#pragma once

#include "platform/user_dialogs.h"

#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vestrel::test {

// Records every message and answers each question from a script, so that a
// test drives a window without any modal loop. A question without a scripted
// answer fails the test and is answered Cancel.
class FakeDialogs : public UserDialogs {
public:
    struct Shown {
        // QuestionDefaultNo: asked through ConfirmDefaultNo.
        enum Kind { Message, Error, Question, QuestionDefaultNo, Report } kind;
        std::string text;
        friend bool operator==(const Shown&, const Shown&) = default;
        friend void PrintTo(const Shown& s, std::ostream* out) {
            static const char* const kinds[] = {"Message", "Error", "Question", "QuestionDefaultNo", "Report"};
            *out << kinds[s.kind] << " \"" << s.text << '"';
        }
    };

    std::vector<Shown> shown;
    std::deque<Answer> answers;
    std::deque<bool> reportAnswers;                  // answers to ShowReport with Continue
    std::deque<std::optional<std::string>> files;    // answers to OpenFile
    std::deque<std::optional<std::string>> folders;  // answers to PickFolder

    struct FileRequest {
        std::string title;
        std::vector<std::string> filters;
        std::string initialDir;
    };
    std::vector<FileRequest> fileRequests;
    struct FolderRequest {
        std::string title, root, preselected;
    };
    std::vector<FolderRequest> folderRequests;

    void ShowMessage(const std::string& text) override { shown.push_back({Shown::Message, text}); }
    void ShowError(const std::string& text) override { shown.push_back({Shown::Error, text}); }
    Answer Confirm(const std::string& text, bool) override { return Ask(Shown::Question, text); }
    Answer ConfirmDefaultNo(const std::string& text) override { return Ask(Shown::QuestionDefaultNo, text); }
    // Recorded as the heading, a line break and the text.
    bool ShowReport(const std::string& heading, const std::string& text, bool offerContinue) override {
        shown.push_back({Shown::Report, heading + "\n" + text});
        if (!offerContinue) return false;
        if (reportAnswers.empty()) {
            ADD_FAILURE() << "unexpected report: " << heading;
            return false;
        }
        bool a = reportAnswers.front();
        reportAnswers.pop_front();
        return a;
    }
    std::optional<std::string> OpenFile(const std::string& title, const std::vector<std::string>& filters,
                                        const std::string& initialDir) override {
        fileRequests.push_back({title, filters, initialDir});
        if (files.empty()) {
            ADD_FAILURE() << "unexpected file dialog: " << title;
            return std::nullopt;
        }
        auto f = files.front();
        files.pop_front();
        return f;
    }
    std::optional<std::string> PickFolder(const std::string& title, const std::string& root,
                                          const std::string& preselected) override {
        folderRequests.push_back({title, root, preselected});
        if (folders.empty()) {
            ADD_FAILURE() << "unexpected folder dialog: " << title;
            return std::nullopt;
        }
        auto f = folders.front();
        folders.pop_front();
        return f;
    }

    // The texts shown so far, in order, of every kind.
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& s : shown) out.push_back(s.text);
        return out;
    }

private:
    // Records the question and takes the next scripted answer.
    Answer Ask(Shown::Kind kind, const std::string& text) {
        shown.push_back({kind, text});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text;
            return Answer::Cancel;
        }
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
};

// Records the programs it is asked to start.
class FakeLauncher : public ProcessLauncher {
public:
    struct Start {
        std::string program;
        std::vector<std::string> arguments;
        std::string workingDir;
    };
    std::vector<Start> starts;
    std::vector<std::string> urls;
    bool succeed = true;

    bool StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& workingDir) override {
        starts.push_back({program, arguments, workingDir});
        return succeed;
    }
    void OpenUrl(const std::string& url) override { urls.push_back(url); }
};

}  // namespace vestrel::test
