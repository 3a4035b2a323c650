// Links in help pages: a page inside the help folder opens in the help
// window, a web link goes to the desktop's browser on a click, and nothing
// else opens - no other file, no other scheme. Without a help folder no page
// is looked for anywhere.
#include "help/helptopics.h"
#include "help/helpwindow.h"
#include "support/testsupport.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

// Stands in for the desktop's opener of every scheme a link could have.
class Opener : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

void ClickLink(QTextBrowser *b, const QString &text)
{
    const QTextCursor found = b->document()->find(text);
    ASSERT_FALSE(found.isNull()) << text.toStdString();
    QTextCursor inside(b->document());
    inside.setPosition(found.selectionStart() + 1);
    QTest::mouseClick(b->viewport(), Qt::LeftButton, {}, b->cursorRect(inside).center());
    QTest::qWait(10);
}

} // namespace

TEST(HelpLinks, OnlyHelpPagesOpenInsideAndOnlyWebLinksGoToTheBrowser)
{
    namespace fs = std::filesystem;
    const std::string root = testsupport::ScratchDir("links");
    fs::create_directories(root + "/help/de");
    fs::create_directories(root + "/help/en");
    testsupport::WriteFile(root + "/outside.html", "<html><body>outside</body></html>");
    testsupport::WriteFile(root + "/help/de/page2.html", "<html><body>second page</body></html>");
    testsupport::WriteFile(root + "/help/de/index.html",
                           "<html><head><title>Inhalt</title></head><body>"
                           "<p><a href=\"page2.html\">inside</a></p>"
                           "<p><a href=\"file:///etc/passwd\">system</a></p>"
                           "<p><a href=\"../../outside.html\">outside</a></p>"
                           "<p><a href=\"https://example.org/x\">web</a></p>"
                           "<p><a href=\"mailto:someone@example.org\">mail</a></p>"
                           "<p><a href=\"smb://server/share\">share</a></p></body></html>");
    help::SetHelpDirectory(QString::fromStdString(root + "/help"));
    Opener opener;
    for (const char *scheme : {"http", "https", "mailto", "file", "smb"})
        QDesktopServices::setUrlHandler(scheme, &opener, "open");

    THelpWindow w;
    w.ShowPage("index.html");
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QString index = QString::fromStdString(root + "/help/de/index.html");
    for (const char *link : {"system", "outside", "mail", "share"}) {
        ClickLink(w.Browser, link);
        EXPECT_EQ(QFileInfo(w.CurrentFile()).canonicalFilePath(), QFileInfo(index).canonicalFilePath()) << link;
    }
    EXPECT_TRUE(opener.opened.isEmpty());
    ClickLink(w.Browser, "web");
    ASSERT_EQ(opener.opened.size(), 1);
    EXPECT_EQ(opener.opened[0], QUrl("https://example.org/x"));
    ClickLink(w.Browser, "inside");
    EXPECT_EQ(QFileInfo(w.CurrentFile()).fileName(), "page2.html");
    EXPECT_EQ(opener.opened.size(), 1);

    for (const char *scheme : {"http", "https", "mailto", "file", "smb"})
        QDesktopServices::unsetUrlHandler(scheme);
    help::SetHelpDirectory({});
}

TEST(HelpLinks, WithoutAHelpFolderNoPageIsLookedForAtTheRoot)
{
    help::SetHelpDirectory({});
    if (!help::HelpDirectory().isEmpty())
        GTEST_SKIP() << "a help folder lies beside the test program";
    THelpWindow w;
    w.ShowPage("index.html");
    EXPECT_TRUE(w.CurrentFile().isEmpty());
    EXPECT_FALSE(w.Browser->toPlainText().contains("/de/")) << w.Browser->toPlainText().toStdString();
    EXPECT_TRUE(w.Browser->toPlainText().contains("index.html"));
}

#include "helplinks_test.moc"
