// Device numbering across backends, selection limits, error texts and the
// device report lines.
#include "audio/audioengine.h"
#include "audio/devices.h"
#include "fakebackend.h"

#include <gtest/gtest.h>

using namespace audio;

namespace {

class Devices : public ::testing::Test {
protected:
    void TearDown() override
    {
        SoundInterface::instance().setBackends({});
        SelectInputDevice(0);
        SelectOutputDevice(0);
    }
};

std::shared_ptr<fake::FakeBackend> named(const std::string &prefix, int n, bool isVirtual)
{
    auto b = std::make_shared<fake::FakeBackend>();
    for (int i = 0; i < n; ++i) {
        b->inputs.push_back({prefix + " in " + std::to_string(i)});
        b->outputs.push_back({prefix + " out " + std::to_string(i)});
    }
    b->virtualCards = isVirtual;
    return b;
}

} // namespace

TEST_F(Devices, ReportLinesAndFormatMasks)
{
    auto b = fake::Install(0, 0);
    b->inputs.push_back({"Mic", 0x0FFF, 2, 0x1234});
    b->inputs.push_back({"Broken", 0, 2, 0, 0, MMSYSERR_BADDEVICEID});
    b->inputs.push_back({"Line", 0x80000, 1});
    b->outputs.push_back({"Speakers", 0xABCDEF, 2, 0, WAVECAPS_VOLUME | WAVECAPS_LRVOLUME});
    b->outputs.push_back({"Gone", 0, 2, 0, 0, MMSYSERR_NOMEM});
    b->outputs.push_back({"Odd", 0, 2, 0, 0, MMSYSERR_ERROR});
    int numIn = -1, numOut = -1;
    std::uint32_t last = 0;
    DeviceReport(numIn, numOut, last);
    EXPECT_EQ(numIn, 3);
    EXPECT_EQ(numOut, 3);
    EXPECT_EQ(last, 0x80000u);
    const std::vector<std::string> expected = {
        "--- Programm Version Win32  1.4g ---",
        "WaveInNumDevs  : 3",
        "WaveOutNumDevs : 3",
        "MidiNumDevs    : 0",
        "AuxNumDevs     : 0",
        " ",
        "WaveIn´s ----------",
        "Mic",
        "Wave-In Formats        FFF",
        "Wave-In Channels         2",
        "Wave-In wReserved     1234",
        "(in:) Ungültige Geräte IDDriver",
        "Line",
        "Wave-In Formats      80000",
        "Wave-In Channels         1",
        "Wave-In wReserved        0",
        " ",
        "WaveOut´s ---------",
        "Speakers",
        "Wave-Out Formats     ABCDEF",
        "Wave-Out Support          C",
        "Wave-Out Channnels        2",
        "(out:) Kein Speicher",
        "(out:) unkown Error",
        " ",
        "WaveAux´s ---------",
    };
    EXPECT_EQ(AudioLog(), expected);
    EXPECT_EQ(InputFormats(0), 0x0FFFu);
    EXPECT_EQ(InputFormats(1), 0u);
    EXPECT_EQ(InputFormats(2), 0x80000u);
    EXPECT_EQ(InputFormats(6), 0u);
    EXPECT_EQ(InputFormats(-1), 0u);

    // A later report replaces the list and the masks.
    AudioLog().push_back("capture error");
    b->inputs.clear();
    DeviceReport(numIn, numOut, last);
    EXPECT_EQ(numIn, 0);
    ASSERT_EQ(AudioLog().size(), 7u);
    EXPECT_EQ(AudioLog().back(), "WaveIn´s ----------");
    EXPECT_EQ(InputFormats(0), 0u);
}

// The program uses 32 devices of each direction.
TEST_F(Devices, SelectionIsLimitedToPresentDevicesAndTheFirst32)
{
    fake::Install(2, 34);
    SelectInputDevice(1);
    EXPECT_EQ(GetInputDevice(), 1);
    SelectInputDevice(3);
    EXPECT_EQ(GetInputDevice(), 0);
    SelectOutputDevice(31);
    EXPECT_EQ(GetOutputDevice(), 31);
    SelectOutputDevice(32);
    EXPECT_EQ(GetOutputDevice(), 0);
    SelectOutputDevice(-1);
    EXPECT_EQ(GetOutputDevice(), 0);
    EXPECT_EQ(DeviceName('I', 1), "In 1");
    EXPECT_EQ(DeviceName('O', 33), "Out 33");
    EXPECT_EQ(DeviceName('I', 2), "");
    EXPECT_EQ(DeviceName('X', 0), "");
}

TEST_F(Devices, VirtualCardsFollowTheRealDevicesWithinTheFirst32)
{
    SoundInterface &si = SoundInterface::instance();
    si.setBackends({named("V", 2, true), named("R", 3, false)});
    ASSERT_EQ(si.waveInGetNumDevs(), 5);
    EXPECT_EQ(DeviceName('I', 0), "R in 0");
    EXPECT_EQ(DeviceName('I', 2), "R in 2");
    EXPECT_EQ(DeviceName('I', 3), "V in 0");
    EXPECT_EQ(DeviceName('O', 4), "V out 1");

    // 33 real devices: 31 of them, the virtual cards, then the rest.
    si.setBackends({named("R", 20, false), named("V", 2, true), named("S", 13, false)});
    ASSERT_EQ(si.waveInGetNumDevs(), 35);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(DeviceName('I', i), "R in " + std::to_string(i)) << i;
    for (int i = 20; i < 31; ++i)
        EXPECT_EQ(DeviceName('I', i), "S in " + std::to_string(i - 20)) << i;
    EXPECT_EQ(DeviceName('I', 31), "V in 0");
    EXPECT_EQ(DeviceName('I', 32), "V in 1");
    EXPECT_EQ(DeviceName('I', 33), "S in 11");
    EXPECT_EQ(DeviceName('I', 34), "S in 12");
    EXPECT_EQ(DeviceName('I', 35), "");
    WaveInCaps caps;
    EXPECT_EQ(si.waveInGetDevCaps(35, caps), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(si.waveInGetDevCaps(-1, caps), MMSYSERR_BADDEVICEID);
}

TEST_F(Devices, ErrorTextsByRange)
{
    auto b = fake::Install(1, 1);
    EXPECT_EQ(ErrorText(WAVERR_BADFORMAT).rfind("The specified format is not supported", 0), 0u);
    EXPECT_EQ(ErrorText(MMSYSERR_ALLOCATED).rfind("The specified device is already in use", 0), 0u);
    EXPECT_EQ(ErrorText(777), "fake failure"); // the backend's own code
    EXPECT_EQ(ErrorText(999), "Unknown wave input error 999.");
    EXPECT_EQ(ErrorText(1001), "Unknown wave output error 1001."); // above 1000: output texts
    EXPECT_EQ(ErrorText(ALSA_ERROR_BASE + 16), "ALSA: Device or resource busy");
    EXPECT_EQ(ErrorText(DEVICE_LOST), "The sound device disappeared or failed while it was running.");
    EXPECT_EQ(ErrorText(25), "Unknown wave input error 25.");
    for (int code = 0; code < 2000; code += 37)
        EXPECT_LE(ErrorText(code).size(), 255u);
}

namespace {

// A backend behind a sound server that reports what its streams run at.
class ServerBackend : public fake::FakeBackend {
public:
    RunningStream in, out;
    RunningStream runningStream(bool input) override { return input ? in : out; }
};

} // namespace

TEST_F(Devices, WhatReallyRunsIsReportedForTheCurrentDevices)
{
    auto server = std::make_shared<ServerBackend>();
    server->inputs = {{"Mic"}, {"Line"}};
    server->outputs = {{"Speakers"}};
    SoundInterface::instance().setBackends({server});
    SelectInputDevice(1);
    EXPECT_EQ(RunningStreamText('I', 1), ""); // nothing open
    server->in = {true, 96000, 48000, 1024, true, "alsa.pci"};
    server->out = {true, 48000, 48000, 0, false, "alsa.pci"};
    EXPECT_EQ(RunningStreamText('I', 1), "graph 48000 Hz, quantum 1024, resampled from 96000 Hz");
    EXPECT_EQ(RunningStreamText('O', 0), "graph 48000 Hz");
    EXPECT_EQ(RunningStreamText('O', 1), ""); // no such device
    EXPECT_EQ(RunningStreamText('X', 0), "");

    int numIn = 0, numOut = 0;
    std::uint32_t last = 0;
    DeviceReport(numIn, numOut, last);
    const std::vector<std::string> &log = AudioLog();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[log.size() - 4], "Wave-In running   : graph 48000 Hz, quantum 1024, resampled from 96000 Hz");
    EXPECT_EQ(log[log.size() - 3], "Wave-Out running  : graph 48000 Hz");
    EXPECT_EQ(log.back(), "WaveAux´s ---------");
}
