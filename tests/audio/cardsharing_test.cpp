// The sound server's nodes stand for ALSA cards it holds: each backend is
// told which cards the others list, so that a card appears once. Fakes for
// a server and an ALSA backend whose devices carry card numbers.
#include "audio/devices.h"
#include "fakebackend.h"

#include <gtest/gtest.h>

using namespace audio;

namespace {

// Devices on cards; those of cards listed elsewhere are left out, as the
// ALSA backend does.
class CardBackend : public fake::FakeBackend {
public:
    CardBackend(std::string family, std::vector<std::pair<std::string, int>> devices, std::vector<int> held)
        : family_(std::move(family)), all_(std::move(devices)), held_(std::move(held))
    {
        list();
    }
    std::vector<int> cardsHeld() override { return held_; }
    void setCardsListedElsewhere(const std::vector<int> &cards) override
    {
        told.push_back(cards);
        elsewhere_ = cards;
        list();
    }
    std::string family() const override { return family_; }
    std::vector<std::vector<int>> told;

private:
    void list()
    {
        inputs.clear();
        for (const auto &[name, card] : all_)
            if (std::find(elsewhere_.begin(), elsewhere_.end(), card) == elsewhere_.end())
                inputs.push_back({name});
    }
    std::string family_;
    std::vector<std::pair<std::string, int>> all_;
    std::vector<int> held_, elsewhere_;
};

} // namespace

TEST(CardSharing, AnAlsaCardTheServerListsAppearsOnceAndTheVirtualCardStaysLast)
{
    // ALSA: "default" (no card), two devices of card 0 and one of card 2.
    auto alsa = std::make_shared<CardBackend>(
        "ALSA", std::vector<std::pair<std::string, int>>{{"default", -1}, {"PCH 0", 0}, {"PCH 1", 0}, {"USB", 2}},
        std::vector<int>{});
    // The server holds card 0 (its node) and lists a virtual sink of no card.
    auto server = std::make_shared<CardBackend>(
        "PipeWire", std::vector<std::pair<std::string, int>>{{"Built-in Audio", 0}, {"Null", -1}},
        std::vector<int>{0, 0});
    auto virtualCard = std::make_shared<fake::FakeBackend>();
    virtualCard->virtualCards = true;
    virtualCard->inputs.push_back({"Virtual loopback 1"});
    SoundInterface &si = SoundInterface::instance();
    si.setBackends({alsa, server, virtualCard});

    EXPECT_EQ(alsa->told.back(), std::vector<int>{0});
    EXPECT_EQ(server->told.back(), std::vector<int>{}) << "a backend is never told of its own cards";
    const std::vector<std::string> expected{"default", "USB", "Built-in Audio", "Null", "Virtual loopback 1"};
    int in = 0, out = 0;
    std::uint32_t mask = 0;
    DeviceReport(in, out, mask); // refreshes, and tells the backends again
    ASSERT_EQ(in, 5);
    for (int i = 0; i < in; ++i)
        EXPECT_EQ(DeviceName('I', i), expected[static_cast<std::size_t>(i)]);
    EXPECT_EQ(si.deviceFamily(1, true), "ALSA");
    EXPECT_EQ(si.deviceFamily(2, true), "PipeWire");
    EXPECT_EQ(alsa->told.size(), 2u);

    // The server gone from the list: the card's ALSA devices come back.
    si.setBackends({alsa, virtualCard});
    EXPECT_EQ(alsa->told.back(), std::vector<int>{});
    EXPECT_EQ(si.waveInGetNumDevs(), 5);
    EXPECT_EQ(DeviceName('I', 4), "Virtual loopback 1");
    si.setBackends({});
}
