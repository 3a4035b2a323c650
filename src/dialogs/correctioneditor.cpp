#include "dialogs/correctioneditor.h"

#include "dsp/correction.h"
#include "widgets/messagebox.h"
#include "platform/textfile.h"

#include <QAction>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <cerrno>

namespace {

struct Texts {
    QString Caption, Question, CouldNotCreate, ReadError;
};
Texts texts{"Editor Korrekturdatei", QString::fromUtf8("Korrekturwerte wurden verändert ! Speichern ?"),
            " konnte nicht erzeugt werden", "Fehler beim Lesen von "};

QString Reason(int error) { return " (" + QString::fromStdString(platform::FileErrorText(error)) + ")"; }

} // namespace

TKorEdit::TKorEdit(QWidget *parent) : QDialog(parent)
{
    setObjectName("TKorEdit");
    setWindowTitle(texts.Caption);
    setSizeGripEnabled(true);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setTabChangesFocus(false);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setAccessibleName("Correction file");
    MainMenu = new QMenuBar(this);
    MainMenu->setObjectName("MainMenu");
    // "&&" shows one ampersand and gives no accelerator; Ctrl+S reaches the
    // entry from the keyboard, since the text takes the Tab key.
    test = MainMenu->addAction("Save &&Test");
    test->setObjectName("test");
    test->setShortcut(QKeySequence::Save);
    test->setShortcutContext(Qt::WindowShortcut);
    addAction(test);
    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setMenuBar(MainMenu);
    lay->addWidget(Memo1);
    resize(320, 360);
    connect(test, &QAction::triggered, this, [this] { testClick(); });
}

void TKorEdit::SetLanguage(char language)
{
    const bool de = language == 'D';
    if (!de && language != 'E')
        return;
    texts.Caption = de ? QStringLiteral("Editor Korrekturdatei") : QStringLiteral("Editor correction file");
    texts.Question = de ? QString::fromUtf8("Korrekturwerte wurden verändert ! Speichern ?")
                        : QStringLiteral("Values changed ! Saving ?");
    texts.CouldNotCreate = de ? QStringLiteral(" konnte nicht erzeugt werden") : QStringLiteral(" could not created");
    texts.ReadError = de ? QStringLiteral("Fehler beim Lesen von ") : QStringLiteral("Error at reading of ");
    if (fileName_.empty())
        setWindowTitle(texts.Caption);
}

bool TKorEdit::Open(dsp::CorrectionCurve *curve)
{
    if (isVisible() && !confirmDiscard())
        return false;
    const std::string fileName = curve ? curve->fileName() : std::string();
    // What cannot be read is not shown as an empty file: saving that would
    // replace the file. A missing file starts empty.
    std::string bytes;
    const int error = fileName.empty() ? 0 : platform::ReadTextFile(fileName, platform::kDataFileLimit, bytes);
    if (error != 0 && error != ENOENT) {
        platform::ShowMessage(this, platform::MessageKind::Warning,
                              texts.ReadError + ": " + QString::fromStdString(fileName) + Reason(error));
        return false;
    }
    curve_ = curve;
    fileName_ = fileName;
    QString text = QString::fromLocal8Bit(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // The line break that ends the last line is written back on saving.
    if (text.endsWith('\n'))
        text.chop(1);
    Memo1->setPlainText(text);
    Memo1->document()->setModified(false);
    FormActivate();
    return true;
}

bool TKorEdit::Modified() const { return Memo1->document()->isModified(); }

void TKorEdit::showEvent(QShowEvent *e)
{
    FormActivate();
    QDialog::showEvent(e);
}

void TKorEdit::FormActivate()
{
    // The prefix is the same in both languages.
    setWindowTitle(QStringLiteral("Editor Korrekturdatei: ") + QString::fromStdString(fileName_));
}

bool TKorEdit::testClick()
{
    QString text = Memo1->toPlainText();
    if (!text.isEmpty() && !text.endsWith('\n'))
        text += '\n';
    const QByteArray bytes = text.toLocal8Bit();
    // Replaced whole: a full disk leaves the old file as it was.
    const int error = fileName_.empty() ? ENOENT
                                        : platform::WriteTextFile(fileName_, std::string_view(bytes.constData(),
                                                                                              std::size_t(bytes.size())));
    if (error != 0) {
        platform::ShowMessage(this, platform::MessageKind::Error,
                              QString::fromStdString(fileName_) + texts.CouldNotCreate);
        return false;
    }
    Memo1->document()->setModified(false);
    if (curve_) {
        curve_->loadFromFile(fileName_);
        curve_->setActive(true);
    }
    emit correctionSaved();
    return true;
}

bool TKorEdit::confirmDiscard()
{
    if (!Modified())
        return true;
    if (!platform::AskYesNo(this, platform::MessageKind::Information, texts.Question))
        return true;
    return testClick();
}

void TKorEdit::reject()
{
    if (confirmDiscard())
        QDialog::reject();
}
