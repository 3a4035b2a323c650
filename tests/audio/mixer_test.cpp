// The system mixer on the virtual card's mixer: recording source and volumes,
// the playback reset, what is put back when the mixer closes, mixer support
// off, and the mirror's limits and log block.
#include "audio/audioengine.h"
#include "audio/mixer/mixercontrol.h"
#include "audio/setupsoundinterface.h"
#include "platform/inifile.h"
#include "platform/runtime/messages.h"
#include "platform/runtime/utilities.h"
#include "support/testsupport.h"
#include "support/virtualmixertest.h"

#include <algorithm>

using namespace audio;
using testsupport::Values;

namespace {

class MixerTest : public ::testing::Test {
protected:
    std::string settings;
    std::unique_ptr<testsupport::OutsideMixer> outside;
    std::unique_ptr<Tmixu> mixu;

    void start(const std::string &ini = {})
    {
        settings = testsupport::ScratchDir("mixer") + "/sonmain.ini";
        testsupport::WriteFile(settings, ini);
        platform::SetSettingsFileName(settings);
        SetupSoundInterface(VirtualCardConfig::Ideal(), false);
        outside = std::make_unique<testsupport::OutsideMixer>();
        mixu = std::make_unique<Tmixu>();
    }
    void TearDown() override
    {
        mixu.reset();
        platform::SetSettingsFileName({});
    }
};

// A mixer wider than the mirror keeps: 25 sources of 25 controls, a list of
// 25 items with long names.
struct WideMixer : MixerDevice {
    std::string name() const override { return "wide"; }
    int destinations() override { return 1; }
    int lineInfoByDestination(int, MixerLine &l) override
    {
        l = {};
        l.componentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
        l.connections = 25;
        return 0;
    }
    int lineInfoBySource(int, int s, MixerLine &l) override
    {
        l = {};
        l.componentType = MIXERLINE_COMPONENTTYPE_SRC_LINE;
        l.lineId = static_cast<std::uint32_t>(s + 1);
        return 0;
    }
    int lineControls(std::uint32_t line, std::vector<MixerControlRecord> &cs) override
    {
        cs.assign(25, {});
        for (std::uint32_t i = 0; i < 25; ++i) {
            cs[i].controlId = line * 100 + i;
            cs[i].controlType = cs[i].controlId == 0 ? MIXERCONTROL_CONTROLTYPE_MUX : MIXERCONTROL_CONTROLTYPE_VOLUME;
        }
        return 0;
    }
    int getValues(std::uint32_t id, std::vector<std::uint32_t> &v) override
    {
        v.assign(id == 0 ? 25 : 1, 1);
        return 0;
    }
    int getListTexts(std::uint32_t, std::vector<std::string> &t) override
    {
        t.assign(25, "a rather long source name");
        return 0;
    }
    int setValues(std::uint32_t, const std::vector<std::uint32_t> &) override { return 0; }
    void setNotify(Notify) override {}
};

TEST_F(MixerTest, RecordingSourceIsSelectedInOneWriteAndVolumesGoToTheChosenSourceOnly)
{
    start();
    int sourceReports = 0;
    std::vector<int> volumeReports;
    mixu->SetHooks({[&] { ++sourceReports; },
                    [&](const TsrcCtr &c) { volumeReports.push_back(mixu->GetControlValue(c)); }, {}});
    std::vector<std::string> names;
    Values values;
    int selected = -1;
    ASSERT_EQ(mixu->GetRecordSources(names, values, selected), 3);
    EXPECT_EQ(names, (std::vector<std::string>{"Mic", "Line", "CD"}));
    EXPECT_EQ(selected, 0);
    EXPECT_EQ(mixu->FindLineSource(), 1);

    int muxWrites = 0;
    outside->rec->setNotify([&](unsigned m, std::uint32_t id) { muxWrites += id == outside->find("Recording Source").second; });
    EXPECT_EQ(mixu->SelectRecordSource(1), 1);
    EXPECT_EQ(outside->get("Recording Source"), (Values{0, 1, 0}));
    platform::DelayMs(20);
    EXPECT_EQ(muxWrites, 1);
    EXPECT_EQ(sourceReports, 1);
    EXPECT_EQ(mixu->SelectRecordSource(3), -1) << "no item 3: the selection stays";
    EXPECT_EQ(outside->get("Recording Source"), (Values{0, 1, 0}));

    mixu->AddToSourceMask(2);
    mixu->SetRecordVolume(40000, 2);
    EXPECT_EQ(outside->get("CD Capture Volume"), Values{40000});
    EXPECT_EQ(outside->get("Mic Capture Volume"), Values{0});
    EXPECT_EQ(outside->get("Line Capture Volume"), Values{0});
    mixu->SetRecordVolume(5, 3); // no source 3: nothing is silenced
    EXPECT_EQ(outside->get("CD Capture Volume"), Values{40000});
    platform::DelayMs(20);
    outside->set("CD Capture Volume", {1234});  // another program, on the watched source
    outside->set("Mic Capture Volume", {4321}); // ... and on one not watched
    platform::DelayMs(20);
    EXPECT_EQ(volumeReports, (std::vector<int>{40000, 1234}));
}

TEST_F(MixerTest, PlaybackResetAndOnlyTheProgramsOwnWritesArePutBack)
{
    start();
    mixu->ResetPlayMixer(13107);
    for (auto [name, v] : {std::pair{"Master Volume", 13107}, {"Master Mute", 0}, {"Bass", 32768}, {"Treble", 32768},
                           {"Wave Out Volume", 65535}, {"Wave Out Mute", 0}, {"Line Volume", 0}, {"Line Mute", 1},
                           {"CD Volume", 0}, {"CD Mute", 1}})
        EXPECT_EQ(outside->get(name), Values{static_cast<std::uint32_t>(v)}) << name;
    EXPECT_EQ(mixu->GetMasterVolume(), 13107);
    outside->set("Master Volume", {20000}); // after the program's write
    outside->set("Mic Capture Volume", {1234}); // a control the program never wrote
    mixu.reset();
    // The model's values before the program wrote; the untouched control as the other program left it.
    for (auto [name, v] : {std::pair{"Master Volume", 49151}, {"Bass", 40000}, {"Treble", 30000},
                           {"Wave Out Volume", 50000}, {"Line Volume", 50000}, {"Line Mute", 0}, {"Mic Capture Volume", 1234}})
        EXPECT_EQ(outside->get(name), Values{static_cast<std::uint32_t>(v)}) << name;
}

TEST_F(MixerTest, WithMixerSupportOffNothingIsWrittenDuringTheRunOrAtTheEnd)
{
    start("[MIX]\nMIXON=0\n");
    EXPECT_FALSE(mixu->MixOn());
    EXPECT_EQ(mixu->SelectRecordSource(2), 2);
    mixu->SetRecordVolume(1, 0);
    mixu->ResetPlayMixer(0);
    mixu->SetMasterVolume(0);
    outside->set("Bass", {100}); // another program
    mixu.reset();
    EXPECT_EQ(outside->get("Recording Source"), (Values{1, 0, 0}));
    EXPECT_EQ(outside->get("Mic Capture Volume"), Values{65535});
    EXPECT_EQ(outside->get("Master Volume"), Values{49151});
    EXPECT_EQ(outside->get("Bass"), Values{100});
    EXPECT_EQ(platform::GetPrivateProfileString("MIX", "MIXON", "", 30, settings), "0");
}

TEST_F(MixerTest, TheMirrorKeeps19OfEachAndLogsItsStructure)
{
    start();
    const auto &log = AudioLog();
    const auto block = std::find(log.begin(), log.end(), "------------------ Create Mixer --------------------");
    ASSERT_NE(block, log.end());
    for (const char *line : {"--- Dest#0 Componente: Speakers   =4", "PlayControl -------------------",
                             "--- Dest#1 Componente: Wave Input =7", "RecordControl ------------------",
                             "\tMixline  Line  Line        =4098", "\tMixContr Recording Source  Mic:1  Line:0  CD:0",
                             "\tMixContr Master Volume  v:49151"})
        EXPECT_NE(std::find(block, log.end(), line), log.end()) << line;

    std::vector<std::string> wideLog;
    int reads = 150;
    Tumixer wide(std::make_unique<WideMixer>(), wideLog, reads);
    ASSERT_NE(wide.RecordLine(), nullptr);
    EXPECT_EQ(wide.RecordLine()->Sources.size(), 19u);
    EXPECT_EQ(wide.RecordLine()->Controls.size(), 19u);
    EXPECT_EQ(wide.RecordLine()->Sources[18]->Controls.size(), 19u);
    EXPECT_EQ(wide.RecordLine()->Controls[0].ItemCount, 19u);
    EXPECT_EQ(wide.RecordLine()->Controls[0].ItemNames[18], "a rather long s");
    EXPECT_EQ(reads, 0) << "only the first 150 control reads are logged";
}

} // namespace
