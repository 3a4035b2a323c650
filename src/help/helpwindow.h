// The help window: a contents list, the page, back and forward, and a
// full-text search over the pages of the current language.
#pragma once

#include <QUrl>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTextBrowser;

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget *parent = nullptr);

    // German 'D' or English 'E' captions and pages; the page on show is
    // replaced by the same page in the new language.
    void SetLanguage(char language);
    // Shows a page of the current language (a file in its folder, with an
    // optional "#anchor").
    void ShowPage(const QString &page);
    // The local file on show, empty when none.
    QString CurrentFile() const;
    // What a click on a link does: a page inside the help folder opens here,
    // an http or https link goes to the desktop's browser, anything else
    // (other files, other schemes) opens nowhere.
    void FollowLink(const QUrl &link);
    // Whether `file` is a page inside the help folder (links resolved).
    static bool InsideHelp(const QString &file);

    QPushButton *BackBtn, *ForwardBtn, *ContentsBtn;
    QLineEdit *SearchEdit;
    QListWidget *TopicList;
    QTextBrowser *Browser;

private:
    void fillContents();
    void search(const QString &text);
    void openItem(QListWidgetItem *item);
    QString folder() const;
    static QString pageTitle(const QString &file);

    char language_ = 'D';
    QLabel *searchLabel_;
};
