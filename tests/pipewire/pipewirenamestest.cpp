// Names of PipeWire devices: the description, made unique by the node name
// only where two nodes share one, and never longer than 120 bytes.
#include "audio/pipewire/pipewirebackend.h"

#include <gtest/gtest.h>

using audio::pipewire::DeviceNames;

TEST(PipeWireDeviceNames, SharedDescriptionsTakeTheNodeNameOthersStayAsTheyAre)
{
    const auto names = DeviceNames({{"alsa_output.usb-A", "USB Audio"},
                                    {"alsa_output.pci", "Built-in Audio Analog Stereo"},
                                    {"alsa_output.usb-B", "USB Audio"}});
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], "USB Audio (alsa_output.usb-A)");
    EXPECT_EQ(names[1], "Built-in Audio Analog Stereo");
    EXPECT_EQ(names[2], "USB Audio (alsa_output.usb-B)");
}

TEST(PipeWireDeviceNames, LongNamesAreCutAtACharacterBoundary)
{
    // 59 two-byte characters and one more: 120 bytes would split the last one.
    std::string description = "x";
    for (int i = 0; i < 60; ++i)
        description += "\xC3\xA4"; // a-umlaut
    const auto names = DeviceNames({{"n", description}, {"m", std::string(200, 'y')}, {"k", std::string(200, 'y')}});
    EXPECT_EQ(names[0], description.substr(0, 119));
    EXPECT_EQ(names[1], std::string(116, 'y') + " (m)");
    EXPECT_EQ(names[2].size(), 120u);
}
