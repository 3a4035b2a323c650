// Devices chosen by the name the settings keep: found again after the list
// was numbered anew, the number of older files where no name is stored, and
// a device that went is said and its name kept for the next save. The
// ALSA card names are checked against hand-written device entries.
#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/storeddevice.h"
#include "fakebackend.h"

#ifdef SONALYX_TEST_ALSA_NAMES
#include "audio/alsa/alsadevicelist.h"
#endif

#include <gtest/gtest.h>

using namespace audio;

namespace {

// A sound server's nodes: listed by description, stored by node name.
class NodeBackend : public fake::FakeBackend {
public:
    std::vector<std::string> inNodes, outNodes;
    void add(const std::string &description, const std::string &node)
    {
        inputs.push_back({description});
        outputs.push_back({description});
        inNodes.push_back(node);
        outNodes.push_back(node);
    }
    std::string storedName(bool input, int index) override { return (input ? inNodes : outNodes).at(index); }
};

std::shared_ptr<fake::FakeBackend> virtualCard()
{
    auto v = std::make_shared<fake::FakeBackend>();
    v->inputs.push_back({"Virtual loopback 1"});
    v->outputs.push_back({"Virtual loopback 1"});
    v->virtualCards = true;
    return v;
}

class StoredDevices : public ::testing::Test {
protected:
    void TearDown() override
    {
        SoundInterface::instance().setBackends({});
        SelectInputDevice(0);
        SelectOutputDevice(0);
        AudioLog().clear();
    }
};

} // namespace

TEST_F(StoredDevices, ANameFindsItsDeviceAfterTheListWasNumberedAnew)
{
    auto before = std::make_shared<NodeBackend>();
    before->add("Built-in Audio", "alsa_input.pci-0000_00_1f.3.analog-stereo");
    before->add("Scarlett 2i2", "alsa_input.usb-Focusrite_Scarlett_2i2-00.analog-stereo");
    SoundInterface::instance().setBackends({before, virtualCard()});
    ASSERT_EQ(SelectStoredDevice('I', 0, ""), 0);
    SelectInputDevice(1);
    SelectOutputDevice(2); // the virtual card, after the two nodes
    const std::string inName = DeviceNameToStore('I'), outName = DeviceNameToStore('O');
    EXPECT_EQ(inName, "alsa_input.usb-Focusrite_Scarlett_2i2-00.analog-stereo");
    EXPECT_EQ(outName, "Virtual loopback 1");

    // After a restart a new interface is listed first: the numbers 1 and 2
    // now name other devices, the names still the chosen ones.
    auto after = std::make_shared<NodeBackend>();
    after->add("USB Microphone", "alsa_input.usb-Mic-00.mono-fallback");
    after->add("Scarlett 2i2", "alsa_input.usb-Focusrite_Scarlett_2i2-00.analog-stereo");
    after->add("Built-in Audio", "alsa_input.pci-0000_00_1f.3.analog-stereo");
    SoundInterface::instance().setBackends({after, virtualCard()});
    EXPECT_EQ(SelectStoredDevice('I', 1, inName), 1);
    EXPECT_EQ(SelectStoredDevice('O', 2, outName), 3);
    EXPECT_EQ(DeviceName('O', GetOutputDevice()), "Virtual loopback 1");
    EXPECT_EQ(MissingDeviceNote('I'), "");
    EXPECT_EQ(MissingDeviceNote('O'), "");

    // Files of earlier versions: the number alone, beyond the list gives 0.
    EXPECT_EQ(SelectStoredDevice('I', 2, ""), 2);
    EXPECT_EQ(SelectStoredDevice('I', 9, ""), 0);
    EXPECT_EQ(MissingDeviceNote('I'), "");
}

TEST_F(StoredDevices, ADeviceThatWentIsSaidAndItsNameKeptUntilAnotherIsChosen)
{
    auto nodes = std::make_shared<NodeBackend>();
    nodes->add("Built-in Audio", "alsa_input.pci-0000_00_1f.3.analog-stereo");
    nodes->add("Dock", "alsa_input.usb-Dock-00.analog-stereo");
    SoundInterface::instance().setBackends({nodes, virtualCard()});

    // The stored number falls back by the rule of earlier files, and says so.
    EXPECT_EQ(SelectStoredDevice('I', 1, "alsa_input.usb-Scarlett-00.analog-stereo"), 1);
    const MissingDevice m = MissingStoredDevice('I');
    EXPECT_EQ(m.name, "alsa_input.usb-Scarlett-00.analog-stereo");
    EXPECT_EQ(m.used, 1);
    EXPECT_EQ(m.usedName, "Dock");
    const std::string note = "Input device \"alsa_input.usb-Scarlett-00.analog-stereo\" not found; using device 1 \"Dock\"";
    EXPECT_EQ(MissingDeviceNote('I'), note);
    ASSERT_FALSE(AudioLog().empty());
    EXPECT_EQ(AudioLog().back(), note);
    EXPECT_EQ(SelectStoredDevice('O', 7, "gone"), 0);
    EXPECT_EQ(MissingDeviceNote('O'), "Output device \"gone\" not found; using device 0 \"Built-in Audio\"");

    // Saved without a choice in between: the missing name stays stored.
    EXPECT_EQ(DeviceNameToStore('I'), "alsa_input.usb-Scarlett-00.analog-stereo");
    // A device chosen by the user replaces it.
    SelectInputDevice(0);
    EXPECT_EQ(MissingDeviceNote('I'), "");
    EXPECT_EQ(DeviceNameToStore('I'), "alsa_input.pci-0000_00_1f.3.analog-stereo");

    // No devices at all.
    SoundInterface::instance().setBackends({});
    SelectStoredDevice('I', 0, "Virtual loopback 1");
    EXPECT_EQ(MissingDeviceNote('I'), "Input device \"Virtual loopback 1\" not found; using no device");
}

// A device listed beyond the numbers the engine can use is not taken.
TEST_F(StoredDevices, ANameListedBeyondTheUsableNumbersIsSaid)
{
    auto many = std::make_shared<NodeBackend>();
    for (int i = 0; i < kMaxDevices + 2; ++i)
        many->add("Node " + std::to_string(i), "node." + std::to_string(i));
    SoundInterface::instance().setBackends({many});
    EXPECT_EQ(SelectStoredDevice('I', 3, "node." + std::to_string(kMaxDevices - 1)), kMaxDevices - 1);
    EXPECT_EQ(SelectStoredDevice('I', 3, "node." + std::to_string(kMaxDevices + 1)), 3);
    EXPECT_EQ(MissingDeviceNote('I'), "Input device \"node." + std::to_string(kMaxDevices + 1) + "\" is number " +
                                          std::to_string(kMaxDevices + 1) + ", beyond the first " +
                                          std::to_string(kMaxDevices) + "; using device 3 \"Node 3\"");
}

#ifdef SONALYX_TEST_ALSA_NAMES
// ALSA's spellings of a card's device (alsa-lib's "hw" PCM: CARD and DEV by
// position or by key, the card by number or by id, DEV 0 when not given).
TEST(AlsaStoredNames, CardsAreStoredByIdAndFoundInEverySpelling)
{
    using audio::alsa::AlsaDeviceEntry;
    const AlsaDeviceEntry hw{"hw:2,1", "USB Audio (hw:2,1)", 2, 1, "Scarlett"};
    const AlsaDeviceEntry plug{"plughw:2,1", "USB Audio (plughw:2,1)", 2, 1, "Scarlett"};
    const AlsaDeviceEntry first{"hw:2,0", "USB Audio (hw:2,0)", 2, 0, "Scarlett"};
    const AlsaDeviceEntry def{"default", "Default", -1, -1, ""};
    EXPECT_EQ(audio::alsa::StoredAlsaName(hw), "hw:CARD=Scarlett,DEV=1");
    EXPECT_EQ(audio::alsa::StoredAlsaName(plug), "plughw:CARD=Scarlett,DEV=1");
    EXPECT_EQ(audio::alsa::StoredAlsaName(def), "default");

    for (const char *s : {"hw:CARD=Scarlett,DEV=1", "hw:2,1", "hw:Scarlett,1", "hw:DEV=1,CARD=Scarlett", "hw:CARD=2,DEV=1"})
        EXPECT_TRUE(audio::alsa::AlsaNameMatches(hw, s)) << s;
    for (const char *s : {"hw:CARD=Scarlett", "hw:Scarlett", "hw:2"})
        EXPECT_TRUE(audio::alsa::AlsaNameMatches(first, s)) << s;
    for (const char *s : {"plughw:CARD=Scarlett,DEV=1", "hw:CARD=PCH,DEV=1", "hw:3,1", "hw:CARD=Scarlett,DEV=0",
                          "hw:CARD=Scarlett,DEV=1,SUBDEV=0", "hw:CARD=,DEV=1", "hw:", "", "default", "hw:2,x"})
        EXPECT_FALSE(audio::alsa::AlsaNameMatches(hw, s)) << s;
    EXPECT_TRUE(audio::alsa::AlsaNameMatches(def, "default"));
    EXPECT_FALSE(audio::alsa::AlsaNameMatches(def, "hw:0,0"));

    // A reboot numbers the cards anew: the stored name follows the card.
    const AlsaDeviceEntry renumbered{"hw:0,1", "USB Audio (hw:0,1)", 0, 1, "Scarlett"};
    EXPECT_TRUE(audio::alsa::AlsaNameMatches(renumbered, audio::alsa::StoredAlsaName(hw)));
    EXPECT_FALSE(audio::alsa::AlsaNameMatches(renumbered, "hw:2,1"));
}
#endif
