#include "audio/wavefileoutput.h"

#include "audio/audioengine.h"
#include "audio/outputengine.h"
#include "audio/wavefile/wavefileconvert.h"

#include <sndfile.h>

#include <memory>
#include <vector>

namespace audio {

namespace {

int Refuse(const std::string &fileName, const std::string &reason, int code = MMSYSERR_ERROR)
{
    AppendAudioLog("Wave file " + fileName + ": " + reason);
    SetAudioStatus(code);
    return code;
}

struct SndFileCloser {
    void operator()(SNDFILE *f) const { sf_close(f); }
};

} // namespace

int StartWaveFileOutput(const std::string &fileName)
{
    StopOutput();
    if (fileName.empty())
        return Refuse(fileName, "no file chosen");

    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open(fileName.c_str(), SFM_READ, &info));
    if (!file)
        return Refuse(fileName, sf_strerror(nullptr));

    const WaveFormat format = OutputFormat();
    WaveConversion c = ConvertWaveFile(file.get(), info, format.wBitsPerSample, format.nSamplesPerSec,
                                       kMaxWaveFileBytes);
    if (c.result != WaveConversion::Result::Converted)
        return Refuse(fileName, c.reason,
                      c.result == WaveConversion::Result::TooLong ? MMSYSERR_NOMEM : MMSYSERR_ERROR);
    if (info.samplerate != static_cast<int>(format.nSamplesPerSec))
        AppendAudioLog("Wave file " + fileName + " resampled from " + std::to_string(info.samplerate) + " Hz to " +
                       std::to_string(format.nSamplesPerSec) + " Hz");
    auto encoded = std::make_shared<const std::vector<char>>(std::move(c.frames));
    return StartEncodedStream(std::move(encoded));
}

} // namespace audio
