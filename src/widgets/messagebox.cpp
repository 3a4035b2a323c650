#include "widgets/messagebox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace platform {

namespace {
MessageHandler &handler()
{
    static MessageHandler h;
    return h;
}
QuestionHandler &questionHandler()
{
    static QuestionHandler h;
    return h;
}
HelpHandler &helpHandler()
{
    static HelpHandler h;
    return h;
}
} // namespace

void ShowMessage(QWidget *parent, const MessageRequest &request)
{
    if (handler()) {
        handler()(request);
        return;
    }
    QMessageBox::Icon icon = request.kind == MessageKind::Error     ? QMessageBox::Critical
                             : request.kind == MessageKind::Warning ? QMessageBox::Warning
                                                                    : QMessageBox::Information;
    QMessageBox box(icon, QApplication::applicationName(), request.text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText); // file and device names are never markup
    QPushButton *help = nullptr;
    if (request.withHelp)
        help = box.addButton(QMessageBox::Help);
    box.exec();
    if (help && box.clickedButton() == help && helpHandler())
        helpHandler()(request.helpContext);
}

bool AskYesNo(QWidget *parent, MessageKind kind, const QString &text)
{
    if (questionHandler())
        return questionHandler()(MessageRequest{kind, text, false, 0});
    QMessageBox::Icon icon = kind == MessageKind::Error     ? QMessageBox::Critical
                             : kind == MessageKind::Warning ? QMessageBox::Warning
                                                            : QMessageBox::Information;
    QMessageBox box(icon, QApplication::applicationName(), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

void SetQuestionHandler(QuestionHandler h) { questionHandler() = std::move(h); }

void SetMessageHandler(MessageHandler h) { handler() = std::move(h); }

void SetHelpHandler(HelpHandler h) { helpHandler() = std::move(h); }

} // namespace platform
