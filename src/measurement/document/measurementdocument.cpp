// The result document's model (see measurementdocument.h).
#include "measurement/document/measurementdocument.h"

#include <cmath>
#include <iterator>

namespace measure {

namespace {

struct KindEntry {
    MeasurementKind Kind;
    const char *Name;
    bool Curves;
};

constexpr KindEntry kKinds[] = {
    {MeasurementKind::Spectrum, "spectrum", true},
    {MeasurementKind::ThdN, "thdn", false},
    {MeasurementKind::Level, "level", false},
    {MeasurementKind::Sweep, "sweep", true},
    {MeasurementKind::LogSweep, "logsweep", true},
    {MeasurementKind::DistortionFrequency, "distortion_frequency", true},
    {MeasurementKind::DistortionLevel, "distortion_level", true},
    {MeasurementKind::Thd, "thd", false},
    {MeasurementKind::Imd, "imd", false},
    {MeasurementKind::Noise, "noise", false},
    {MeasurementKind::DynamicRange, "dynamic_range", false},
};

const KindEntry &Entry(MeasurementKind kind)
{
    for (const KindEntry &e : kKinds)
        if (e.Kind == kind)
            return e;
    return kKinds[0];
}

} // namespace

const char *KindName(MeasurementKind kind) { return Entry(kind).Name; }

bool KindHasCurves(MeasurementKind kind) { return Entry(kind).Curves; }

bool KindFromName(const std::string &name, MeasurementKind &kind)
{
    for (const KindEntry &e : kKinds)
        if (name == e.Name) {
            kind = e.Kind;
            return true;
        }
    return false;
}

std::size_t ResultTable::AddNumberColumn(const std::string &name, int decimals)
{
    ResultColumn c;
    c.Name = name;
    c.Decimals = decimals;
    c.Numbers.assign(Rows, std::nan(""));
    Columns.push_back(std::move(c));
    return Columns.size() - 1;
}

std::size_t ResultTable::AddTextColumn(const std::string &name)
{
    ResultColumn c;
    c.Name = name;
    c.Text = true;
    c.Texts.assign(Rows, std::string());
    Columns.push_back(std::move(c));
    return Columns.size() - 1;
}

std::size_t ResultTable::AddRow()
{
    for (ResultColumn &c : Columns) {
        if (c.Text)
            c.Texts.emplace_back();
        else
            c.Numbers.push_back(std::nan(""));
    }
    return Rows++;
}

const ResultColumn *ResultTable::Find(const std::string &name) const
{
    for (const ResultColumn &c : Columns)
        if (c.Name == name)
            return &c;
    return nullptr;
}

const CurveDefinition *MeasurementDocument::FindCurve(const std::string &name) const
{
    for (const CurveDefinition &c : Curves)
        if (c.Name == name)
            return &c;
    return nullptr;
}

CurvePoints PointsOf(const MeasurementDocument &document, const CurveDefinition &curve)
{
    const ResultColumn *x = document.Results.Find(curve.X);
    const ResultColumn *y = document.Results.Find(curve.Y);
    const ResultColumn *phase = curve.Phase.empty() ? nullptr : document.Results.Find(curve.Phase);
    if (!x || !y || x->Text || y->Text || (!curve.Phase.empty() && (!phase || phase->Text)))
        return {};
    return CurvePoints{x->Numbers, y->Numbers, phase ? phase->Numbers : std::vector<double>()};
}

} // namespace measure
