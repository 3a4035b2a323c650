// Built-in weighting tables.
#include "dsp/weighting.h"

#include <iterator>

namespace dsp {

namespace {

const CorrectionPoint kNone[] = {{10, 0}, {1000, 0}, {24000, 0}};
const CorrectionPoint kAWeighting[] = {{10, -55},   {20, -45},  {90, -20},  {100, -18},
                                       {132, -15},  {200, -10}, {400, -5},  {500, -3},
                                       {1000, 0},   {1300, 0.5}, {2000, 1}, {3000, 1},
                                       {5000, 0},   {10000, -5}, {20000, -17}};
const CorrectionPoint kCMessage[] = {{20, -77},  {50, -57},    {100, -41}, {200, -25},
                                     {400, -11}, {1000, 0},    {2000, -1}, {2500, -0.5},
                                     {4000, -15}, {9000, -50}, {20000, -72}};
const CorrectionPoint kCcitt[] = {{30, -80},  {50, -60},   {100, -39},  {200, -20},
                                  {400, -6},  {1000, 0},   {2000, -3},  {3000, -6},
                                  {5000, -35}, {6000, -53}, {10000, -90}};
const CorrectionPoint kCcirWeighted[] = {{20, -32},  {50, -25},   {100, -20},  {200, -14},
                                         {300, -10}, {400, -7.5}, {600, -4.5}, {1050, 0},
                                         {2000, 5},  {4000, 10},  {6000, 12},  {10000, 8},
                                         {20000, -30}};
const CorrectionPoint kCcirArm[] = {{20, -38},  {50, -31},   {100, -25},   {200, -20},
                                    {500, -12}, {1000, -6},  {2000, 0},    {5000, 6},
                                    {10000, 2}, {20000, -35}, {24000, -45}};
const CorrectionPoint kRumbleWeighted[] = {{5, -55},     {20, -39},     {50, -25.5}, {70, -19.5},
                                           {100, -14.5}, {200, -2.7},   {300, 0},    {1000, -15},
                                           {2000, -27.5}, {3000, -35},  {5000, -43}, {10000, -55},
                                           {20000, -70}};
const CorrectionPoint kRumbleUnweighted[] = {{5, -2.5},     {20, 0},      {50, 0},     {100, 0},
                                             {200, 0},      {300, 0},     {1000, -15}, {2000, -27.5},
                                             {3000, -35},   {5000, -43},  {10000, -55}, {24000, -76}};
const CorrectionPoint kIecTuner[] = {{20, -60},  {30, -60},   {50, -45},   {100, -20},
                                     {200, -1},  {250, 0},    {400, 0},    {1000, 0},
                                     {5000, 0},  {8000, 0},   {10000, 0},  {20000, -80}};
const CorrectionPoint kDeem5015[] = {{20, 0},      {100, 0},    {500, 0},     {600, 0},
                                     {1000, -0.5}, {2000, -1.5}, {5000, -4.5}, {10000, -8},
                                     {20000, -9.5}, {24000, -10}};
const CorrectionPoint kDeemph50[] = {{20, 0},     {100, 0},     {400, 0},      {1000, -1},
                                     {2000, -3},  {3000, -5},   {6500, -10},   {10000, -13},
                                     {20000, -17}, {24000, -18}};
const CorrectionPoint kDeemph75[] = {{20, 0},    {100, 0},     {400, 0},     {1000, -1},
                                     {2000, -3}, {3000, -5},   {10000, -13}, {20000, -17},
                                     {24000, -17.5}};
const CorrectionPoint kDeemphJ17[] = {{20, 18},   {80, 18},    {500, 16},    {1000, 12},
                                      {3000, 4.2}, {4000, 3},  {6000, 1.5},  {10000, 0.7},
                                      {20000, 0},  {24000, 0}};

#define SONALYX_TABLE(text, points) {text, points, static_cast<int>(std::size(points))}
const WeightingTable kTables[] = {
    SONALYX_TABLE("none", kNone),
    SONALYX_TABLE("A Weighting", kAWeighting),
    SONALYX_TABLE("C Message", kCMessage),
    SONALYX_TABLE("CCITT-Filter", kCcitt),
    SONALYX_TABLE("CCIR wtd", kCcirWeighted),
    SONALYX_TABLE("CCIR ARM", kCcirArm),
    SONALYX_TABLE("RUMBLE wtd", kRumbleWeighted),
    SONALYX_TABLE("RUMBLE unw", kRumbleUnweighted),
    SONALYX_TABLE("IEC Tuner IEC 315", kIecTuner),
    SONALYX_TABLE("DEEM 50/15", kDeem5015),
    SONALYX_TABLE("DEEMPH 50", kDeemph50),
    SONALYX_TABLE("DEEMPH 75", kDeemph75),
    SONALYX_TABLE("DEEMPH J.17", kDeemphJ17),
};
#undef SONALYX_TABLE

constexpr int kTableCount = static_cast<int>(std::size(kTables));

} // namespace

int WeightingItemCount() { return kTableCount + 1; }

const char *WeightingItem(int index)
{
    if (index >= 0 && index < kTableCount)
        return kTables[index].item;
    return index == kTableCount ? kWeightingUser : "";
}

const WeightingTable *FindWeightingTable(const std::string &item)
{
    for (const WeightingTable &t : kTables)
        if (item == t.item)
            return &t;
    return nullptr;
}

} // namespace dsp
