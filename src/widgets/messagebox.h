// Modal message boxes (error, warning, information) with OK, or OK and
// Help. Every window reports through ShowMessage, so tests can install a
// handler that records the messages instead of blocking on a modal box.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace platform {

enum class MessageKind { Error, Warning, Information };

struct MessageRequest {
    MessageKind kind = MessageKind::Information;
    QString text;
    bool withHelp = false; // OK and Help buttons
    int helpContext = 0;   // help topic for the Help button
};

// Shows the box modally (or hands it to the installed handler).
void ShowMessage(QWidget *parent, const MessageRequest &request);
inline void ShowMessage(QWidget *parent, MessageKind kind, const QString &text, bool withHelp = false,
                        int helpContext = 0)
{
    ShowMessage(parent, MessageRequest{kind, text, withHelp, helpContext});
}

// Replaces the modal boxes (tests); an empty handler restores them.
using MessageHandler = std::function<void(const MessageRequest &)>;
void SetMessageHandler(MessageHandler handler);

// A question with Yes and No buttons; true for Yes. A box the user closes
// otherwise counts as No.
bool AskYesNo(QWidget *parent, MessageKind kind, const QString &text);
// Answers the questions instead of the user (tests); an empty handler
// restores the boxes.
using QuestionHandler = std::function<bool(const MessageRequest &)>;
void SetQuestionHandler(QuestionHandler handler);

// Opens the help at a topic; installed by the help window when it exists.
using HelpHandler = std::function<void(int helpContext)>;
void SetHelpHandler(HelpHandler handler);

} // namespace platform
