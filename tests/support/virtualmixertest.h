// The first virtual card's mixer as another program sees it: a handle of
// its own on each side, controls found by their names in the card's model.
#pragma once

#include "audio/soundinterface.h"

#include <gtest/gtest.h>

namespace testsupport {

struct OutsideMixer {
    std::unique_ptr<audio::MixerDevice> play, rec;

    OutsideMixer()
    {
        for (const auto &b : audio::SoundInterface::instance().backends())
            if (b->isVirtual()) {
                play = b->openMixer(false, 0);
                rec = b->openMixer(true, 0);
            }
        EXPECT_TRUE(play && rec);
    }

    std::pair<audio::MixerDevice *, std::uint32_t> find(const std::string &name)
    {
        for (audio::MixerDevice *d : {play.get(), rec.get()}) {
            std::vector<audio::MixerLine> lines(1);
            d->lineInfoByDestination(0, lines[0]);
            for (std::uint32_t s = 0; s < lines[0].connections; ++s)
                d->lineInfoBySource(0, static_cast<int>(s), lines.emplace_back());
            for (const audio::MixerLine &l : lines) {
                std::vector<audio::MixerControlRecord> controls;
                d->lineControls(l.lineId, controls);
                for (const auto &c : controls)
                    if (c.name == name)
                        return {d, c.controlId};
            }
        }
        ADD_FAILURE() << "no control " << name;
        return {nullptr, 0};
    }

    std::vector<std::uint32_t> get(const std::string &name)
    {
        auto [d, id] = find(name);
        std::vector<std::uint32_t> v;
        if (d)
            d->getValues(id, v);
        return v;
    }

    void set(const std::string &name, const std::vector<std::uint32_t> &values)
    {
        auto [d, id] = find(name);
        if (d) {
            EXPECT_EQ(d->setValues(id, values), 0) << name;
        }
    }
};

using Values = std::vector<std::uint32_t>;

} // namespace testsupport
