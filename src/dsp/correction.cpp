// Correction files and their natural cubic spline.
#include "dsp/correction.h"

#include "platform/inifile.h"
#include "platform/textfile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <utility>

namespace dsp {

namespace {

struct Texts {
    const char *cannotCreate;
    const char *lineError;
    const char *noLines;
    const char *readError;
    const char *notAscending;
    const char *tooLarge;
    const char *tooLargeFile;
    const char *notRegular;
    const char *nameTooLong;
};

const Texts kGerman = {"Kann Datei nicht erzeugen", "Zeilenfehler", "Keine Zeilen in Datei",
                       "Fehler beim Lesen von ", "Frequenzen nicht aufsteigend in Zeile ",
                       "Werte zu groß für eine Korrekturkurve: ", "Datei zu groß (höchstens 4 MiB): ",
                       "Keine gewöhnliche Datei: ", "Dateiname zu lang (höchstens 255 Zeichen): "};
const Texts kEnglish = {"Unable to create file", "Line error", "No lines in file",
                        "Error at reading of ", "Frequencies not ascending in line ",
                        "Values too large for a correction curve: ", "File too large (at most 4 MiB): ",
                        "Not a regular file: ", "File name too long (at most 255 characters): "};

// The highest frequency a curve is applied at (analyser bins reach half the
// sample rate), with room to spare.
constexpr double kHighestHz = 1e6;

// The longest file name a curve keeps.
constexpr std::size_t kMaxFileName = 255;

char g_language = 'D';
MessageSink g_sink;

const Texts &CurrentTexts() { return g_language == 'E' ? kEnglish : kGerman; }

void Show(const std::string &text)
{
    if (g_sink)
        g_sink(text, MessageKind::Warning);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Trim(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlankOrControl(s[b]))
        ++b;
    while (e > b && IsBlankOrControl(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

} // namespace

void SetCorrectionMessageSink(MessageSink sink) { g_sink = std::move(sink); }

void SetCorrectionLanguage(char language)
{
    if (language == 'D' || language == 'E')
        g_language = language;
}

char CorrectionLanguage() { return g_language; }

bool ParseCorrectionLine(const std::string &line, CorrectionPoint &out)
{
    const std::string text = Trim(line);
    const size_t space = text.find(' ');
    if (space == std::string::npos)
        return false;
    std::string second = text.substr(space + 1);
    size_t b = 0;
    while (b < second.size() && IsBlankOrControl(second[b]))
        ++b;
    second.erase(0, b);
    double x = 0, y = 0;
    if (!platform::ParseFloat(text.substr(0, space), x) || !platform::ParseFloat(second, y))
        return false;
    out.x = x;
    out.y = y;
    return true;
}

void CorrectionCurve::clear()
{
    nodes_.clear();
    nodes_.shrink_to_fit();
    fileName_.clear();
    active_ = false;
}

bool CorrectionCurve::loadFromFile(const std::string &fileName)
{
    if (fileName.empty())
        return false;
    const Texts &texts = CurrentTexts();
    // A curve holds names of up to 255 characters; a longer one is refused,
    // never cut (a cut name would name another file).
    if (fileName.size() > kMaxFileName) {
        Show(texts.nameTooLong + fileName);
        return false;
    }

    std::string text;
    int error = platform::ReadTextFile(fileName, platform::kDataFileLimit, text);
    if (error == ENOENT) {
        // Only a name that does not exist at all is created: never through a
        // link (a dangling one included), never over anything.
        if (platform::CreateNewTextFile(fileName, "1000 0\n") != 0) {
            Show(texts.cannotCreate);
            return false;
        }
        error = platform::ReadTextFile(fileName, platform::kDataFileLimit, text);
    }
    if (error == platform::FileTooLarge) {
        Show(texts.tooLargeFile + fileName);
        return false;
    }
    if (error == platform::FileNotRegular) {
        Show(texts.notRegular + fileName);
        return false;
    }
    if (error != 0) {
        // An existing file that cannot be read is reported and left alone.
        Show(std::string(texts.readError) + ": " + fileName);
        return false;
    }

    clear();

    // Every line must parse, and the frequencies must rise (the spline needs
    // strictly ascending frequencies).
    std::vector<Node> nodes;
    int bad = 0, lineNo = 0, firstNotAscending = 0;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        ++lineNo;
        CorrectionPoint p;
        if (!ParseCorrectionLine(line, p)) {
            ++bad;
            continue;
        }
        if (!nodes.empty() && !(p.x > nodes.back().x) && firstNotAscending == 0)
            firstNotAscending = lineNo;
        nodes.push_back({p.x, p.y, 0.0, 0.0});
    }

    if (bad > 0) {
        Show(texts.lineError);
        return false;
    }
    if (nodes.empty()) {
        Show(texts.noLines);
        return false;
    }
    if (firstNotAscending > 0) {
        Show(texts.notAscending + std::to_string(firstNotAscending) + ": " + fileName);
        return false;
    }
    nodes_ = std::move(nodes);
    buildSpline();
    if (!finiteUpTo(kHighestHz)) {
        clear();
        Show(texts.tooLarge + fileName);
        return false;
    }
    fileName_ = fileName;
    return true;
}

bool CorrectionCurve::setFromTable(const CorrectionPoint *points, int count)
{
    clear();
    if (!points || count <= 0)
        return count == 0;
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y) ||
            (i > 0 && !(points[i].x > points[i - 1].x)))
            return false;
    }
    nodes_.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        nodes_.push_back({points[i].x, points[i].y, 0.0, 0.0});
    buildSpline();
    if (!finiteUpTo(kHighestHz)) {
        clear();
        return false;
    }
    return true;
}

std::vector<CorrectionPoint> CorrectionCurve::points() const
{
    std::vector<CorrectionPoint> out;
    out.reserve(nodes_.size());
    for (const Node &n : nodes_)
        out.push_back({n.x, n.y});
    return out;
}

void CorrectionCurve::buildSpline()
{
    // Natural cubic spline: M = 0 at both ends; the interior M solve the
    // tridiagonal system mu_i·M(i-1) + 2·M(i) + lambda_i·M(i+1) = rhs_i with
    // lambda_i = h(i+1)/(h(i) + h(i+1)) and mu_i = 1 - lambda_i.
    const size_t n = nodes_.size();
    for (size_t i = 0; i < n; ++i) {
        nodes_[i].m = 0.0;
        nodes_[i].h = i == 0 ? 0.0 : nodes_[i].x - nodes_[i - 1].x;
    }
    if (n < 3)
        return;
    std::vector<double> lambda(n, 0.0), mu(n, 0.0), rhs(n, 0.0), pivot(n, 0.0);
    for (size_t i = 1; i + 1 < n; ++i) {
        const double h0 = nodes_[i].h, h1 = nodes_[i + 1].h;
        lambda[i] = h1 / (h0 + h1);
        mu[i] = 1.0 - lambda[i];
        rhs[i] = 6.0 *
                 ((nodes_[i + 1].y - nodes_[i].y) / h1 - (nodes_[i].y - nodes_[i - 1].y) / h0) /
                 (h0 + h1);
    }
    pivot[1] = 2.0;
    for (size_t i = 1; i + 2 < n; ++i) {
        const double f = mu[i + 1] / pivot[i];
        pivot[i + 1] = 2.0 - lambda[i] * f;
        rhs[i + 1] -= rhs[i] * f;
    }
    nodes_[n - 2].m = rhs[n - 2] / pivot[n - 2];
    for (size_t i = n - 2; i-- > 1;)
        nodes_[i].m = (rhs[i] - lambda[i] * nodes_[i + 1].m) / pivot[i];
}

bool CorrectionCurve::finiteUpTo(double maxHz) const
{
    // On each interval |S| is at most the sum of its terms' magnitudes at the
    // farthest frequency evaluated there (the outer intervals extrapolate to
    // 0 Hz and maxHz): when that sum is finite, so is every evaluation.
    const size_t n = nodes_.size();
    if (n == 1)
        return std::isfinite(nodes_[0].y);
    for (size_t lo = 0; lo + 1 < n; ++lo) {
        const Node &a = nodes_[lo];
        const Node &b = nodes_[lo + 1];
        double reach = b.h;
        if (lo == 0)
            reach = std::max(reach, std::abs(0.0 - a.x));
        if (lo + 2 == n)
            reach = std::max(reach, maxHz - a.x);
        const double coefficient[4] = {a.y, (b.y - a.y) / b.h - (2.0 * a.m + b.m) * b.h / 6.0, a.m / 2.0,
                                       (b.m - a.m) / (6.0 * b.h)};
        double bound = 0.0, power = 1.0;
        for (double c : coefficient) {
            if (c != 0.0)
                bound += std::abs(c) * power;
            power *= reach;
        }
        if (!std::isfinite(bound))
            return false;
    }
    return true;
}

double CorrectionCurve::evaluate(double freqHz) const noexcept
{
    const size_t n = nodes_.size();
    if (n == 0)
        return 0.0;
    if (n == 1)
        return nodes_[0].y;
    size_t lo = 0, hi = n - 1;
    while (hi - lo >= 2) {
        const size_t mid = (lo + hi) / 2;
        if (nodes_[mid].x <= freqHz)
            lo = mid;
        else
            hi = mid;
    }
    const Node &a = nodes_[lo];
    const Node &b = nodes_[lo + 1];
    const double h = b.h;
    const double t = freqHz - a.x;
    const double slope = (b.y - a.y) / h - (2.0 * a.m + b.m) * h / 6.0;
    const double cubic = (b.m - a.m) / (6.0 * h);
    return a.y + slope * t + (a.m / 2.0) * t * t + cubic * t * t * t;
}

} // namespace dsp
