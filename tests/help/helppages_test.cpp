// The help pages as shipped: every topic has a page in both languages, and
// no link, picture or anchor of any page points nowhere.
#include "help/helptopics.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

QString helpDir() { return qEnvironmentVariable("SONALYX_SOURCE_DIR") + "/data/help"; }

QString read(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QStringList pages(const QString &lang)
{
    return QDir(helpDir() + "/" + lang).entryList({"*.html"}, QDir::Files, QDir::Name);
}

} // namespace

TEST(HelpPages, EveryTopicHasItsPageInBothLanguagesAndTheyMatch)
{
    help::SetHelpDirectory(helpDir());
    for (const help::Topic &t : help::Topics())
        for (char lang : {'D', 'E'})
            EXPECT_TRUE(QFile::exists(help::PagePath(t, lang))) << t.name << " " << lang;
    EXPECT_EQ(pages("de"), pages("en"));
    EXPECT_GE(pages("en").size(), qsizetype(help::Topics().size()));
    help::SetHelpDirectory({});
}

TEST(HelpPages, NoLinkPictureOrAnchorPointsNowhere)
{
    static const QRegularExpression ref(R"re((?:href|src)="([^"]*)")re");
    static const QRegularExpression id(R"re(\bid="([^"]*)")re");
    int links = 0;
    for (const QString lang : {"de", "en"}) {
        const QString dir = helpDir() + "/" + lang;
        for (const QString &page : pages(lang)) {
            const QString html = read(dir + "/" + page);
            EXPECT_TRUE(html.contains("<title>")) << page.toStdString();
            for (auto m = ref.globalMatch(html); m.hasNext();) {
                const QString target = m.next().captured(1);
                if (target.startsWith("http"))
                    continue;
                ++links;
                const QString file = target.section('#', 0, 0);
                const QString anchor = target.section('#', 1);
                const QString path = file.isEmpty() ? dir + "/" + page : QDir(dir).filePath(file);
                ASSERT_TRUE(QFile::exists(path)) << lang.toStdString() << "/" << page.toStdString() << " -> "
                                                 << target.toStdString();
                if (!anchor.isEmpty()) {
                    QStringList ids;
                    for (auto i = id.globalMatch(read(path)); i.hasNext();)
                        ids << i.next().captured(1);
                    EXPECT_TRUE(ids.contains(anchor)) << page.toStdString() << " -> " << target.toStdString();
                }
            }
        }
    }
    EXPECT_GT(links, 100);
}
