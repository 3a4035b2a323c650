#include "audio/mixer/mixermirror.h"
#include "audio/soundinterface.h"

#include <algorithm>

namespace audio {

namespace {

std::string Pad(std::string s, std::size_t width)
{
    if (s.size() < width)
        s.append(width - s.size(), ' ');
    return s;
}

} // namespace

std::string Tumixer::ComponentName(std::uint32_t type)
{
    static const char *const sources[] = {"Undefined",    "Digital",   "Line",       "Microphone",
                                          "Synthesizer",  "Compact Disc", "Telephone", "PC Speaker",
                                          "Wave Out",     "Auxiliary", "Analog"};
    static const char *const destinations[] = {"Undefined", "Digital",   "Line Level", "Monitor",    "Speakers",
                                               "Headphones", "Telephone", "Wave Input", "Voice Reco."};
    if (type >= MIXERLINE_COMPONENTTYPE_SRC_FIRST) {
        const std::uint32_t i = type - MIXERLINE_COMPONENTTYPE_SRC_FIRST;
        return Pad(i < std::size(sources) ? sources[i] : "INVALID", 12);
    }
    return Pad(type < std::size(destinations) ? destinations[type] : "INVALID", 11);
}

Tumixer::Tumixer(std::unique_ptr<MixerDevice> device, std::vector<std::string> &log, int &logReads)
    : device_(std::move(device)), log_(log), logReads_(logReads)
{
    log_.push_back("");
    log_.push_back("------------------ Create Mixer --------------------");
    log_.push_back("");
    if (!device_) {
        log_.push_back("no mixer");
        return;
    }
    log_.push_back("Mixer: " + PlainName(device_->name()));
    const int n = device_->destinations();
    for (int d = 0; d < n; ++d) {
        MixerLine line;
        if (device_->lineInfoByDestination(d, line) != MMSYSERR_NOERROR)
            continue;
        log_.push_back("--- Dest#" + std::to_string(d) + " Componente: " + ComponentName(line.componentType) + "=" +
                       std::to_string(line.componentType));
        if (!play_ && (line.flags & MIXERLINE_LINEF_ACTIVE) &&
            line.componentType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS) {
            log_.push_back("PlayControl -------------------");
            play_ = buildLine(line, d);
        } else if (!record_ && line.componentType == MIXERLINE_COMPONENTTYPE_DST_WAVEIN) {
            log_.push_back("RecordControl ------------------");
            record_ = buildLine(line, d);
        }
    }
}

std::unique_ptr<Tumixerline> Tumixer::buildLine(const MixerLine &line, int destination)
{
    auto l = std::make_unique<Tumixerline>();
    l->line = line;
    l->line.name = PlainName(line.name);
    l->line.shortName = PlainName(line.shortName);
    std::string head = "\tMixline  " + l->line.name;
    if (line.componentType >= MIXERLINE_COMPONENTTYPE_SRC_FIRST)
        head += "  " + ComponentName(line.componentType) + "=" + std::to_string(line.componentType);
    log_.push_back(head);
    std::vector<MixerControlRecord> records;
    if (device_->lineControls(line.lineId, records) == MMSYSERR_NOERROR) {
        records.resize(std::min<std::size_t>(records.size(), kMixerMaxItems));
        for (const MixerControlRecord &r : records) {
            TsrcCtr c;
            c.mixer = device_.get();
            c.control = r;
            c.control.name = PlainName(r.name);
            c.control.shortName = PlainName(r.shortName);
            ReadControl(c);
            l->Controls.push_back(std::move(c));
        }
    }
    if (line.componentType < MIXERLINE_COMPONENTTYPE_SRC_FIRST) {
        const int sources = static_cast<int>(std::min<std::uint32_t>(line.connections, kMixerMaxItems));
        for (int s = 0; s < sources; ++s) {
            MixerLine src;
            if (device_->lineInfoBySource(destination, s, src) == MMSYSERR_NOERROR)
                l->Sources.push_back(buildLine(src, destination));
        }
    }
    return l;
}

void Tumixer::ReadControl(TsrcCtr &c)
{
    std::vector<std::uint32_t> values;
    const bool read = device_ && device_->getValues(c.control.controlId, values) == MMSYSERR_NOERROR &&
                      !values.empty();
    std::string text = "\tMixContr " + c.control.name;
    if (IsListControl(c.control.controlType)) {
        if (read) {
            c.ItemCount = static_cast<std::uint32_t>(std::min<std::size_t>(values.size(), kMixerMaxItems));
            std::copy_n(values.begin(), c.ItemCount, c.Items.begin());
            c.SavedItems = c.Items;
            std::vector<std::string> texts;
            if (device_->getListTexts(c.control.controlId, texts) == MMSYSERR_NOERROR)
                for (std::uint32_t i = 0; i < c.ItemCount && i < texts.size(); ++i)
                    c.ItemNames[i] = PlainName(texts[i]).substr(0, 15);
        }
        for (std::uint32_t i = 0; i < c.ItemCount; ++i)
            text += "  " + c.ItemNames[i] + ":" + std::to_string(c.Items[i]);
    } else {
        if (read)
            c.SavedValue = values[0];
        text += "  v:" + std::to_string(c.SavedValue);
    }
    if (logReads_ > 0) {
        --logReads_;
        log_.push_back(text);
    }
}

} // namespace audio
