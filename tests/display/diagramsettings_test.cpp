// The diagram's settings section: defaults, values that give defaults, and
// what is written.
#include "display/diagramsettings.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

using namespace display;

TEST(DiagramSettings, EmptyFileGivesDefaultsAndBadValuesGiveTheirDefault)
{
    const std::string path = testsupport::ScratchDir("settings-read") + "/sonmain.ini";
    DiagramOptions o;
    o.ColGrid = 123;
    o.LogX = 0;
    o.YStep = 1.0f;
    ReadDiagramSettings(path, o);
    EXPECT_EQ(o.ColGrid, 0x00FFFFu);
    EXPECT_EQ(o.Separator, ",");
    EXPECT_TRUE(o.LogX);
    EXPECT_TRUE(o.YStepAuto);
    EXPECT_EQ(o.YStep, 5.0f);

    testsupport::WriteFile(path, "[DIAGPRIV]\nSEPARATOR=\\t\nCOLCUR=255\n"
                                 "COLDIA=1\n"          // 1: default
                                 "COLGRID=yellow\n"    // not a number: default
                                 "COLLINE1=0\n"        // black is a colour
                                 "COLLINE2=99999999\n" // beyond 24 bits: default
                                 "collinE3=65280\n"    // keys match in any case
                                 "XLOG=false\n"        // only FALSE means false
                                 "YSTEPAUTO=FALSE\nYDIASTEPS=2.5\n");
    ReadDiagramSettings(path, o);
    EXPECT_EQ(o.Separator, "\\t");
    EXPECT_EQ(o.ColCursor, 255u);
    EXPECT_EQ(o.ColDiagram, 0xFFFF00u);
    EXPECT_EQ(o.ColGrid, 0x00FFFFu);
    EXPECT_EQ(o.ColLine1, 0u);
    EXPECT_EQ(o.ColLine2, 0x0000FFu);
    EXPECT_EQ(o.ColLine3, 65280u);
    EXPECT_TRUE(o.LogX);
    EXPECT_FALSE(o.YStepAuto);
    EXPECT_EQ(o.YStep, 2.5f);
    for (const char *bad : {"0", "-2", "abc", "1e99"}) {
        testsupport::WriteFile(path, std::string("[DIAGPRIV]\nYDIASTEPS=") + bad + "\n");
        ReadDiagramSettings(path, o);
        EXPECT_EQ(o.YStep, 5.0f) << bad;
    }
}

TEST(DiagramSettings, WritesKeysInOrderKeepsTheRestOfTheFileAndReadsBack)
{
    const std::string path = testsupport::ScratchDir("settings-write") + "/sonmain.ini";
    testsupport::WriteFile(path, "[MAIN]\nPAGE=2\n");
    DiagramOptions o;
    o.Separator = ";";
    o.ColLine1 = 0x123456;
    o.LogX = 0;
    o.YStep = 2.34f;
    ASSERT_TRUE(WriteDiagramSettings(path, o));
    EXPECT_EQ(testsupport::ReadFile(path), "[MAIN]\nPAGE=2\n\n[DIAGPRIV]\nSEPARATOR=;\nCOLCUR=0\nCOLDIA=16776960\n"
                                           "COLGRID=65535\nCOLLINE1=1193046\nCOLLINE2=255\nCOLLINE3=32768\n"
                                           "COLMARGIN=12632256\nCOLTEXT=0\nXLOG=FALSE\nYSTEPAUTO=TRUE\n"
                                           "YDIASTEPS=2.3\n");
    DiagramOptions back;
    ReadDiagramSettings(path, back);
    EXPECT_EQ(back.Separator, ";");
    EXPECT_EQ(back.ColLine1, 0x123456u);
    EXPECT_FALSE(back.LogX);
    EXPECT_FLOAT_EQ(back.YStep, 2.3f); // one decimal is kept
}
