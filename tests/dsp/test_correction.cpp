// Correction files (reader, messages in both languages) and the natural
// cubic spline against hand-derived values and its defining properties.
#include "dsp/correction.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <string>
#include <vector>

using namespace dsp;

namespace {

// Records the reader's messages instead of showing them.
class CorrectionFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetCorrectionLanguage('E');
        SetCorrectionMessageSink([this](const std::string &text, MessageKind kind) {
            messages.push_back(text);
            EXPECT_EQ(kind, MessageKind::Warning);
        });
    }
    void TearDown() override
    {
        SetCorrectionMessageSink({});
        SetCorrectionLanguage('D');
    }
    std::string Write(const std::string &name, const std::string &text)
    {
        testsupport::WriteFile(dir + "/" + name, text);
        return dir + "/" + name;
    }
    const std::string dir = testsupport::ScratchDir("correction");
    std::vector<std::string> messages;
    CorrectionCurve curve;
};

} // namespace

TEST_F(CorrectionFiles, MissingFileIsCreatedWithOnePointOfZero)
{
    const std::string path = dir + "/new.cor";
    ASSERT_TRUE(curve.loadFromFile(path));
    EXPECT_EQ(testsupport::ReadFile(path), "1000 0\n");
    EXPECT_EQ(curve.count(), 1);
    EXPECT_EQ(curve.fileName(), path);
    EXPECT_FALSE(curve.active()); // the caller switches it on
    curve.setActive(true);
    for (double f : {1.0, 1000.0, 28000.0})
        EXPECT_EQ(curve.apply(-1, f, 0.0), 0.0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(CorrectionFiles, FileThatCannotBeCreatedKeepsTheOldPoints)
{
    ASSERT_TRUE(curve.loadFromFile(Write("old.cor", "100 1\n1000 2\n")));
    EXPECT_FALSE(curve.loadFromFile(dir + "/no/such/dir/x.cor"));
    EXPECT_EQ(messages, std::vector<std::string>{"Unable to create file"});
    EXPECT_EQ(curve.count(), 2);
    EXPECT_FALSE(curve.loadFromFile("")); // no name: nothing happens, nothing said
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(curve.count(), 2);
}

// Names and files from outside: a FIFO, a device, a file beyond 4 MiB or a
// name beyond 255 characters is refused with its message and the old points
// stay; a name that fits is used whole; a missing file is created only where
// nothing is, never at the end of a dangling link.
TEST_F(CorrectionFiles, OnlyRegularFilesOfASaneSizeAndNamesThatFitAreRead)
{
    ASSERT_TRUE(curve.loadFromFile(Write("old.cor", "100 1\n1000 2\n")));
    ASSERT_EQ(::mkfifo((dir + "/fifo.cor").c_str(), 0600), 0); // no writer: a blocking open would hang
    const std::string big = Write("big.cor", std::string((4u << 20) - 4, '\n') + "1 1\n\n");
    const std::string sub = dir + "/" + std::string(100, 'a');
    ASSERT_LT(sub.size(), 240u);
    std::filesystem::create_directory(sub);
    const std::string fits = sub + "/" + std::string(255 - sub.size() - 5, 'b') + ".cor"; // 255 characters
    const std::string tooLong = sub + "/" + std::string(256 - sub.size() - 5, 'b') + ".cor";
    ASSERT_EQ(fits.size(), 255u);
    for (const auto &[name, message] : {std::pair{dir + "/fifo.cor", "Not a regular file: " + dir + "/fifo.cor"},
                                        {std::string("/dev/zero"), std::string("Not a regular file: /dev/zero")},
                                        {big, "File too large (at most 4 MiB): " + big},
                                        {tooLong, "File name too long (at most 255 characters): " + tooLong}}) {
        messages.clear();
        EXPECT_FALSE(curve.loadFromFile(name));
        EXPECT_EQ(messages, std::vector<std::string>{message});
        EXPECT_EQ(curve.count(), 2);
    }
    EXPECT_FALSE(std::filesystem::exists(tooLong));
    EXPECT_FALSE(std::filesystem::exists(tooLong.substr(0, 255)));
    ASSERT_TRUE(curve.loadFromFile(fits));
    EXPECT_EQ(curve.fileName(), fits);
    EXPECT_EQ(testsupport::ReadFile(fits), "1000 0\n");

    std::filesystem::create_symlink(dir + "/target.cor", dir + "/dangling.cor");
    messages.clear();
    EXPECT_FALSE(curve.loadFromFile(dir + "/dangling.cor"));
    EXPECT_EQ(messages, std::vector<std::string>{"Unable to create file"});
    EXPECT_FALSE(std::filesystem::exists(dir + "/target.cor"));
}

TEST_F(CorrectionFiles, AcceptedLineForms)
{
    // blanks around and between, exponents, signs, CR LF, tab after the value
    ASSERT_TRUE(curve.loadFromFile(
        Write("forms.cor", "  20 -1.5  \n100     +2\r\n1.5E3 3e-1\n20000 \t0.25\t\n")));
    const auto p = curve.points();
    ASSERT_EQ(p.size(), 4u);
    const double expected[4][2] = {{20, -1.5}, {100, 2}, {1500, 0.3}, {20000, 0.25}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(p[i].x, expected[i][0]);
        EXPECT_EQ(p[i].y, expected[i][1]);
    }
    ASSERT_TRUE(curve.loadFromFile(Write("nobreak.cor", "20 1\n100 2"))); // no final line break
    EXPECT_EQ(curve.count(), 2);
    EXPECT_TRUE(messages.empty());
}

TEST_F(CorrectionFiles, BadFilesAreRefusedWithTheirMessageAndLeaveTheCurveEmpty)
{
    struct Case {
        const char *text, *english, *german;
    };
    const Case cases[] = {
        {"20 1\n100 x\n1000 3\n", "Line error", "Zeilenfehler"},
        {"20 1\n\n1000 3\n", "Line error", "Zeilenfehler"},        // blank line in the middle
        {"20 1\n100\t2\n1000 3\n", "Line error", "Zeilenfehler"},  // tab as the only separator
        {"20 1\n100 2 5\n1000 3\n", "Line error", "Zeilenfehler"}, // third column
        {"20 1\n1,5 2\n1000 3\n", "Line error", "Zeilenfehler"},   // decimal comma
        {"20 1\n100 nan\n", "Line error", "Zeilenfehler"},
        {"20 1\n100 1e999\n", "Line error", "Zeilenfehler"},       // beyond double
        {"20 1\n100 2\n\n", "Line error", "Zeilenfehler"},         // blank line at the end
        {"", "No lines in file", "Keine Zeilen in Datei"},
        {"20 1\n1000 2\n500 3\n2000 4\n", "Frequencies not ascending in line 3",
         "Frequenzen nicht aufsteigend in Zeile 3"},
        {"20 1\n1000 2\n1000 3\n", "Frequencies not ascending in line 3", "Frequenzen nicht aufsteigend in Zeile 3"},
        // a slope of 1e300/1e-300 dB/Hz, and a cubic that overflows on the way to 1 MHz
        {"0 0\n1e-300 1e300\n", "Values too large for a correction curve: ", "Werte zu groß für eine Korrekturkurve: "},
        {"1 0\n2 1e300\n3 -1e300\n", "Values too large for a correction curve: ",
         "Werte zu groß für eine Korrekturkurve: "},
    };
    for (char language : {'E', 'D'}) {
        SetCorrectionLanguage(language);
        for (const Case &c : cases) {
            ASSERT_TRUE(curve.loadFromFile(Write("good.cor", "1 1\n")));
            curve.setActive(true);
            messages.clear();
            EXPECT_FALSE(curve.loadFromFile(Write("bad.cor", c.text))) << c.text;
            ASSERT_EQ(messages.size(), 1u) << c.text;
            EXPECT_EQ(messages[0].rfind(language == 'E' ? c.english : c.german, 0), 0u) << messages[0];
            EXPECT_EQ(curve.count(), 0);
            EXPECT_FALSE(curve.active());
            EXPECT_EQ(curve.fileName(), "");
            EXPECT_EQ(curve.apply(1, 100, 7.5), 7.5);
        }
    }
    SetCorrectionLanguage('x'); // ignored
    EXPECT_EQ(CorrectionLanguage(), 'D');
    curve.loadFromFile(dir + "/no/such/dir/x.cor");
    EXPECT_EQ(messages.back(), "Kann Datei nicht erzeugen");
}

TEST(CorrectionSpline, ThreePointsMatchHandDerivedCubics)
{
    // (0,0) (1,1) (2,0): natural ends, 2·M1 = 6·(-1 - 1)/2, so M1 = -3;
    // first interval 1.5t - 0.5t³, last 1 - 1.5t² + 0.5t³.
    CorrectionCurve c;
    ASSERT_TRUE(c.setFromTable({{0, 0}, {1, 1}, {2, 0}}));
    EXPECT_DOUBLE_EQ(c.secondDerivative(1), -3.0);
    EXPECT_DOUBLE_EQ(c.evaluate(0.5), 0.6875);
    EXPECT_DOUBLE_EQ(c.evaluate(1.5), 0.6875);
    EXPECT_DOUBLE_EQ(c.evaluate(-1.0), -1.0); // extrapolated with the first cubic
    EXPECT_DOUBLE_EQ(c.evaluate(-2.0), 1.0);
    EXPECT_DOUBLE_EQ(c.evaluate(3.0), -1.0); // and with the last one
}

TEST(CorrectionSpline, ExactAtKnotsSmoothAndNaturalAtTheEnds)
{
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> step(5.0, 3000.0), level(-20.0, 20.0);
    std::vector<CorrectionPoint> pts;
    for (double x = 10.0; pts.size() < 12; x += step(rng))
        pts.push_back({x, level(rng)});
    CorrectionCurve c;
    ASSERT_TRUE(c.setFromTable(pts));
    c.setActive(true);
    for (const CorrectionPoint &p : pts) {
        EXPECT_NEAR(c.evaluate(p.x), p.y, 1e-9);
        EXPECT_NEAR(c.apply(1, p.x, 100.0), 100.0 - p.y, 1e-9);
        EXPECT_NEAR(c.apply(-1, p.x, 0.0), p.y, 1e-9);
    }
    // first and second derivatives agree from both sides of every inner knot
    const double e = 1e-3;
    for (size_t i = 1; i + 1 < pts.size(); ++i) {
        const double k = pts[i].x;
        EXPECT_NEAR((c.evaluate(k) - c.evaluate(k - e)) / e, (c.evaluate(k + e) - c.evaluate(k)) / e, 1e-4) << i;
        const double left2 = (c.evaluate(k) - 2 * c.evaluate(k - e) + c.evaluate(k - 2 * e)) / (e * e);
        const double right2 = (c.evaluate(k + 2 * e) - 2 * c.evaluate(k + e) + c.evaluate(k)) / (e * e);
        EXPECT_NEAR(left2, c.secondDerivative(int(i)), 1e-3) << i;
        EXPECT_NEAR(right2, c.secondDerivative(int(i)), 1e-3) << i;
    }
    EXPECT_EQ(c.secondDerivative(0), 0.0);
    EXPECT_EQ(c.secondDerivative(int(pts.size()) - 1), 0.0);
}

TEST(CorrectionSpline, TwoPointsAreAStraightLineOnePointAConstant)
{
    CorrectionCurve c;
    ASSERT_TRUE(c.setFromTable({{100, 2}, {1100, 12}}));
    EXPECT_DOUBLE_EQ(c.evaluate(600), 7.0);
    EXPECT_DOUBLE_EQ(c.evaluate(0), 1.0);
    EXPECT_DOUBLE_EQ(c.evaluate(2100), 22.0);
    ASSERT_TRUE(c.setFromTable({{0, 1}, {1, 3}, {4, 9}, {5, 11}})); // collinear points stay a line
    EXPECT_NEAR(c.evaluate(2.5), 6.0, 1e-12);
    EXPECT_NEAR(c.evaluate(-10), -19.0, 1e-9);
    ASSERT_TRUE(c.setFromTable({{1000, -4}}));
    for (double f : {-5.0, 1.0, 1000.0, 1e6})
        EXPECT_EQ(c.evaluate(f), -4.0);
}

TEST(CorrectionSpline, ApplyNeedsPointsAndTheActiveFlagAndTablesMustAscend)
{
    CorrectionCurve c;
    c.setActive(true);
    EXPECT_EQ(c.apply(1, 1000, 5.0), 5.0); // empty
    ASSERT_TRUE(c.setFromTable({{10, 3}, {100, 3}}));
    EXPECT_EQ(c.apply(1, 50, 5.0), 5.0); // a table arrives inactive
    c.setActive(true);
    EXPECT_DOUBLE_EQ(c.apply(1, 50, 5.0), 2.0);
    EXPECT_DOUBLE_EQ(c.apply(-1, 50, 5.0), 8.0);

    for (const std::vector<CorrectionPoint> &bad :
         {std::vector<CorrectionPoint>{{10, 1}, {5, 2}}, {{10, 1}, {10, 2}}, {{10, 1}, {NAN, 2}}}) {
        EXPECT_FALSE(c.setFromTable(bad));
        EXPECT_EQ(c.count(), 0);
        EXPECT_EQ(c.evaluate(10), 0.0);
    }
}
