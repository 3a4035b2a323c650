#include "help/helpwindow.h"

#include "help/helptopics.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSplitter>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

QString readFile(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

QString plainText(const QString &html)
{
    QTextDocument doc;
    doc.setHtml(html);
    return doc.toPlainText();
}

} // namespace

THelpWindow::THelpWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName("THelpWindow");
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(820, 600);

    BackBtn = new QPushButton(this);
    BackBtn->setObjectName("BackBtn");
    ForwardBtn = new QPushButton(this);
    ForwardBtn->setObjectName("ForwardBtn");
    ContentsBtn = new QPushButton(this);
    ContentsBtn->setObjectName("ContentsBtn");
    searchLabel_ = new QLabel(this);
    SearchEdit = new QLineEdit(this);
    SearchEdit->setObjectName("SearchEdit");
    SearchEdit->setClearButtonEnabled(true);
    searchLabel_->setBuddy(SearchEdit);
    TopicList = new QListWidget(this);
    TopicList->setObjectName("TopicList");
    Browser = new QTextBrowser(this);
    Browser->setObjectName("Browser");
    // Links are followed here (FollowLink): pages of the help folder inside,
    // web links in the browser, nothing else.
    Browser->setOpenLinks(false);
    Browser->setOpenExternalLinks(false);

    auto *bar = new QHBoxLayout;
    bar->addWidget(BackBtn);
    bar->addWidget(ForwardBtn);
    bar->addWidget(ContentsBtn);
    bar->addStretch(1);
    bar->addWidget(searchLabel_);
    bar->addWidget(SearchEdit, 1);
    auto *split = new QSplitter(this);
    split->addWidget(TopicList);
    split->addWidget(Browser);
    split->setStretchFactor(1, 1);
    split->setSizes({250, 570});
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(bar);
    lay->addWidget(split, 1);

    BackBtn->setEnabled(false);
    ForwardBtn->setEnabled(false);
    BackBtn->setShortcut(QKeySequence::Back);
    ForwardBtn->setShortcut(QKeySequence::Forward);
    connect(BackBtn, &QPushButton::clicked, Browser, &QTextBrowser::backward);
    connect(ForwardBtn, &QPushButton::clicked, Browser, &QTextBrowser::forward);
    connect(ContentsBtn, &QPushButton::clicked, this, [this] { ShowPage(help::ContentsTopic().page); });
    connect(Browser, &QTextBrowser::backwardAvailable, BackBtn, &QPushButton::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, ForwardBtn, &QPushButton::setEnabled);
    connect(Browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = Browser->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("Sonalyx") : "Sonalyx – " + title);
    });
    connect(Browser, &QTextBrowser::anchorClicked, this, &THelpWindow::FollowLink);
    connect(SearchEdit, &QLineEdit::textChanged, this, &THelpWindow::search);
    connect(TopicList, &QListWidget::itemActivated, this, &THelpWindow::openItem);
    connect(TopicList, &QListWidget::itemClicked, this, &THelpWindow::openItem);
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        SearchEdit->setFocus();
        SearchEdit->selectAll();
    });
    auto *esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(esc, &QShortcut::activated, this, &QWidget::close);
    SetLanguage('D');
}

QString THelpWindow::folder() const
{
    // Without a help folder there is no page anywhere: never "/de" at the root.
    const QString dir = help::HelpDirectory();
    return dir.isEmpty() ? QString() : dir + "/" + help::LanguageFolder(language_);
}

bool THelpWindow::InsideHelp(const QString &file)
{
    const QString dir = help::HelpDirectory();
    if (dir.isEmpty() || file.isEmpty())
        return false;
    const QFileInfo info(file);
    const QString root = QFileInfo(dir).canonicalFilePath();
    const QString path = info.canonicalFilePath(); // links resolved; empty when missing
    return info.isFile() && !root.isEmpty() && path.startsWith(root + "/");
}

void THelpWindow::FollowLink(const QUrl &link)
{
    const QUrl url = Browser->source().resolved(link);
    const QString scheme = url.scheme().toLower();
    if (scheme == "http" || scheme == "https") {
        QDesktopServices::openUrl(url);
        return;
    }
    if (url.isLocalFile() && InsideHelp(url.toLocalFile()))
        Browser->setSource(url);
}

void THelpWindow::SetLanguage(char language)
{
    const QString shown = CurrentFile();
    const QString anchor = Browser->source().fragment();
    language_ = language == 'E' ? 'E' : 'D';
    const bool de = language_ == 'D';
    BackBtn->setText(de ? "< &Zurück" : "< &Back");
    ForwardBtn->setText(de ? "&Vor >" : "&Forward >");
    ContentsBtn->setText(de ? "&Inhalt" : "&Contents");
    searchLabel_->setText(de ? "&Suchen:" : "&Search:");
    SearchEdit->setPlaceholderText(de ? "Wörter auf allen Seiten" : "words on every page");
    BackBtn->setAccessibleName(de ? "Zurück" : "Back");
    ForwardBtn->setAccessibleName(de ? "Vor" : "Forward");
    ContentsBtn->setAccessibleName(de ? "Inhalt" : "Contents");
    TopicList->setAccessibleName(de ? "Themen" : "Topics");
    Browser->setAccessibleName(de ? "Hilfeseite" : "Help page");
    search(SearchEdit->text());
    if (!shown.isEmpty())
        ShowPage(QFileInfo(shown).fileName() + (anchor.isEmpty() ? QString() : "#" + anchor));
}

void THelpWindow::ShowPage(const QString &page)
{
    const QString name = page.section('#', 0, 0);
    const QString anchor = page.section('#', 1);
    const QString file = folder().isEmpty() ? QString() : folder() + "/" + name;
    if (!InsideHelp(file)) {
        // No pages beside the program nor in the data directory: say where
        // they were looked for instead of showing an empty window.
        Browser->setHtml(QStringLiteral("<h2>%1</h2><p>%2</p>")
                             .arg(language_ == 'D' ? "Hilfeseite nicht gefunden" : "Help page not found",
                                  (file.isEmpty() ? name : file).toHtmlEscaped()));
        return;
    }
    QUrl url = QUrl::fromLocalFile(file);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    if (Browser->source() != url)
        Browser->setSource(url);
    else if (!anchor.isEmpty())
        Browser->scrollToAnchor(anchor);
}

QString THelpWindow::CurrentFile() const
{
    const QUrl url = Browser->source();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

QString THelpWindow::pageTitle(const QString &file)
{
    static const QRegularExpression title("<title>(.*)</title>", QRegularExpression::CaseInsensitiveOption |
                                                                    QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = title.match(readFile(file));
    return m.hasMatch() ? plainText(m.captured(1)).trimmed() : QFileInfo(file).baseName();
}

void THelpWindow::fillContents()
{
    TopicList->clear();
    if (folder().isEmpty())
        return;
    for (const help::Topic &t : help::Topics()) {
        const QString page = QString::fromLatin1(t.page);
        const QString file = folder() + "/" + page.section('#', 0, 0);
        if (!QFileInfo::exists(file))
            continue;
        auto *item = new QListWidgetItem(pageTitle(file), TopicList);
        item->setData(Qt::UserRole, page);
    }
}

// Every page of the language that holds all the words typed, in the order
// of the contents; the first hit is marked when a result is opened.
void THelpWindow::search(const QString &text)
{
    const QStringList words = text.simplified().split(' ', Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        fillContents();
        return;
    }
    TopicList->clear();
    const QStringList pages =
        folder().isEmpty() ? QStringList() : QDir(folder()).entryList({"*.html"}, QDir::Files, QDir::Name);
    for (const QString &page : pages) {
        const QString body = plainText(readFile(folder() + "/" + page));
        bool all = true;
        for (const QString &w : words)
            all = all && body.contains(w, Qt::CaseInsensitive);
        if (!all)
            continue;
        auto *item = new QListWidgetItem(pageTitle(folder() + "/" + page), TopicList);
        item->setData(Qt::UserRole, page);
    }
    if (TopicList->count() == 0)
        new QListWidgetItem(language_ == 'D' ? "(nichts gefunden)" : "(nothing found)", TopicList);
}

void THelpWindow::openItem(QListWidgetItem *item)
{
    const QString page = item ? item->data(Qt::UserRole).toString() : QString();
    if (page.isEmpty())
        return;
    ShowPage(page);
    const QStringList words = SearchEdit->text().simplified().split(' ', Qt::SkipEmptyParts);
    if (!words.isEmpty()) {
        Browser->moveCursor(QTextCursor::Start);
        Browser->find(words.first());
    }
}
