// Correction files (reader, messages in both languages) and the natural
// cubic spline against hand-derived values and its defining properties.
#include "dsp/correction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace dsp;
namespace fs = std::filesystem;

namespace {

std::string Scratch()
{
    const char *base = std::getenv("SONALYX_TEST_TMP");
    fs::path dir = base ? fs::path(base) : fs::temp_directory_path() / "sonalyx-test-dsp";
    dir /= "correction";
    fs::create_directories(dir);
    return dir.string();
}

std::string Write(const std::string &name, const std::string &text)
{
    const std::string path = Scratch() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return path;
}

std::string Read(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

// Records the messages instead of showing them.
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
    std::vector<std::string> messages;
    CorrectionCurve curve;
};

} // namespace

TEST_F(CorrectionFiles, MissingFileIsCreatedWithOnePointOfZero)
{
    const std::string path = Scratch() + "/new.cor";
    fs::remove(path);
    ASSERT_TRUE(curve.loadFromFile(path));
    EXPECT_EQ(Read(path), "1000 0\n");
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
    EXPECT_FALSE(curve.loadFromFile(Scratch() + "/no/such/dir/x.cor"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Unable to create file");
    EXPECT_EQ(curve.count(), 2);
    EXPECT_FALSE(curve.loadFromFile("")); // no name: nothing happens, nothing said
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(curve.count(), 2);
}

TEST_F(CorrectionFiles, AcceptedLineForms)
{
    // Trailing line break, extra blanks around and between, exponents, signs,
    // CR LF line ends.
    ASSERT_TRUE(curve.loadFromFile(
        Write("forms.cor", "  20 -1.5  \n100     +2\r\n1.5E3 3e-1\n20000 \t0.25\t\n")));
    const auto p = curve.points();
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].x, 20.0);
    EXPECT_EQ(p[0].y, -1.5);
    EXPECT_EQ(p[1].y, 2.0);
    EXPECT_EQ(p[2].x, 1500.0);
    EXPECT_EQ(p[2].y, 0.3);
    EXPECT_EQ(p[3].x, 20000.0);
    EXPECT_EQ(p[3].y, 0.25);
    EXPECT_TRUE(messages.empty());
    // Without a final line break as well.
    ASSERT_TRUE(curve.loadFromFile(Write("nobreak.cor", "20 1\n100 2")));
    EXPECT_EQ(curve.count(), 2);
}

TEST_F(CorrectionFiles, LineErrorsLeaveTheCurveEmpty)
{
    const char *bad[] = {
        "20 1\n100 x\n1000 3\n",   // a number that does not parse
        "20 1\n\n1000 3\n",        // blank line in the middle
        "20 1\n100\t2\n1000 3\n",  // tab as the only separator
        "20 1\n100 2 5\n1000 3\n", // third column
        "20 1\n1,5 2\n1000 3\n",   // decimal comma
        "20 1\n100 nan\n",         // not a decimal number
        "20 1\n100 1e999\n",       // beyond double
        "20 1\n100 2\n\n",         // blank line at the end
    };
    for (const char *text : bad) {
        ASSERT_TRUE(curve.loadFromFile(Write("good.cor", "1 1\n")));
        curve.setActive(true);
        messages.clear();
        EXPECT_FALSE(curve.loadFromFile(Write("bad.cor", text))) << text;
        ASSERT_EQ(messages.size(), 1u) << text;
        EXPECT_EQ(messages[0], "Line error");
        EXPECT_EQ(curve.count(), 0);
        EXPECT_FALSE(curve.active());
        EXPECT_EQ(curve.fileName(), "");
        EXPECT_EQ(curve.apply(1, 100, 7.5), 7.5);
    }
}

TEST_F(CorrectionFiles, EmptyFileHasNoLines)
{
    EXPECT_FALSE(curve.loadFromFile(Write("empty.cor", "")));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "No lines in file");
}

TEST_F(CorrectionFiles, FrequenciesNotAscendingAreRefusedNamingTheLine)
{
    EXPECT_FALSE(curve.loadFromFile(Write("down.cor", "20 1\n1000 2\n500 3\n2000 4\n")));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Frequencies not ascending in line 3", 0), 0u) << messages[0];
    EXPECT_EQ(curve.count(), 0);

    messages.clear();
    EXPECT_FALSE(curve.loadFromFile(Write("repeat.cor", "20 1\n1000 2\n1000 3\n")));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Frequencies not ascending in line 3", 0), 0u);
    EXPECT_TRUE(std::isfinite(curve.evaluate(1000)));
}

TEST_F(CorrectionFiles, MessagesFollowTheLanguage)
{
    SetCorrectionLanguage('D');
    EXPECT_EQ(CorrectionLanguage(), 'D');
    curve.loadFromFile(Write("bad.cor", "x\n"));
    curve.loadFromFile(Write("empty.cor", ""));
    curve.loadFromFile(Write("down.cor", "2 1\n1 1\n"));
    curve.loadFromFile(Scratch() + "/no/such/dir/x.cor");
    SetCorrectionLanguage('x'); // ignored
    EXPECT_EQ(CorrectionLanguage(), 'D');
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], "Zeilenfehler");
    EXPECT_EQ(messages[1], "Keine Zeilen in Datei");
    EXPECT_EQ(messages[2].rfind("Frequenzen nicht aufsteigend in Zeile 2", 0), 0u);
    EXPECT_EQ(messages[3], "Kann Datei nicht erzeugen");
}

TEST(CorrectionLine, SplitsAtTheFirstSpace)
{
    CorrectionPoint p;
    EXPECT_TRUE(ParseCorrectionLine("\t 1000 \t -3.5 \r", p));
    EXPECT_EQ(p.x, 1000.0);
    EXPECT_EQ(p.y, -3.5);
    EXPECT_FALSE(ParseCorrectionLine("1000", p));
    EXPECT_FALSE(ParseCorrectionLine("", p));
    EXPECT_FALSE(ParseCorrectionLine("1000\t-3", p));
    EXPECT_FALSE(ParseCorrectionLine("1 000 3", p));
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
    EXPECT_DOUBLE_EQ(c.evaluate(3.0), -1.0);  // and with the last one
    EXPECT_DOUBLE_EQ(c.evaluate(-2.0), -3.0 + 4.0);
}

TEST(CorrectionSpline, ExactAtKnotsSmoothAndNaturalAtTheEnds)
{
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> step(5.0, 3000.0), level(-20.0, 20.0);
    std::vector<CorrectionPoint> pts;
    double x = 10.0;
    for (int i = 0; i < 12; ++i) {
        pts.push_back({x, level(rng)});
        x += step(rng);
    }
    CorrectionCurve c;
    ASSERT_TRUE(c.setFromTable(pts));
    c.setActive(true);
    for (const CorrectionPoint &p : pts) {
        EXPECT_NEAR(c.evaluate(p.x), p.y, 1e-9);
        EXPECT_NEAR(c.apply(1, p.x, 100.0), 100.0 - p.y, 1e-9);
        EXPECT_NEAR(c.apply(-1, p.x, 0.0), p.y, 1e-9);
    }
    // First and second derivatives agree from both sides of every inner knot.
    const double e = 1e-3;
    for (size_t i = 1; i + 1 < pts.size(); ++i) {
        const double k = pts[i].x;
        const double left1 = (c.evaluate(k) - c.evaluate(k - e)) / e;
        const double right1 = (c.evaluate(k + e) - c.evaluate(k)) / e;
        EXPECT_NEAR(left1, right1, 1e-4) << i;
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
    // Collinear points stay a line however many there are.
    ASSERT_TRUE(c.setFromTable({{0, 1}, {1, 3}, {4, 9}, {5, 11}}));
    EXPECT_NEAR(c.evaluate(2.5), 6.0, 1e-12);
    EXPECT_NEAR(c.evaluate(-10), -19.0, 1e-9);
    ASSERT_TRUE(c.setFromTable({{1000, -4}}));
    for (double f : {-5.0, 1.0, 1000.0, 1e6})
        EXPECT_EQ(c.evaluate(f), -4.0);
}

TEST(CorrectionSpline, ApplyNeedsPointsAndTheActiveFlag)
{
    CorrectionCurve c;
    c.setActive(true);
    EXPECT_EQ(c.apply(1, 1000, 5.0), 5.0); // empty
    ASSERT_TRUE(c.setFromTable({{10, 3}, {100, 3}}));
    EXPECT_FALSE(c.active()); // a table arrives inactive
    EXPECT_EQ(c.apply(1, 50, 5.0), 5.0);
    c.setActive(true);
    EXPECT_DOUBLE_EQ(c.apply(1, 50, 5.0), 2.0);
    EXPECT_DOUBLE_EQ(c.apply(-1, 50, 5.0), 8.0);
    c.clear();
    EXPECT_EQ(c.count(), 0);
    EXPECT_FALSE(c.active());
}

TEST(CorrectionSpline, TablesThatAreNotAscendingAreRefused)
{
    CorrectionCurve c;
    EXPECT_FALSE(c.setFromTable({{10, 1}, {5, 2}}));
    EXPECT_EQ(c.count(), 0);
    EXPECT_FALSE(c.setFromTable({{10, 1}, {10, 2}}));
    EXPECT_FALSE(c.setFromTable({{10, 1}, {NAN, 2}}));
    EXPECT_EQ(c.evaluate(10), 0.0);
}
