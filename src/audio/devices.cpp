// Device numbering as the engine sees it: selection of the current devices,
// names, format queries, error texts and the device report.
#include "audio/devices.h"
#include "audio/enginestate.h"
#include "audio/storeddevice.h"

#include <cstdio>

namespace audio {

namespace {

SoundInterface &si() { return SoundInterface::instance(); }

std::string hexLine(const char *label, std::uint32_t v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%8X", label, static_cast<unsigned>(v));
    return buf;
}

std::string capsFailure(const char *kind, int rc)
{
    switch (rc) {
    case MMSYSERR_BADDEVICEID: return std::string(kind) + " Ungültige Geräte IDDriver";
    case MMSYSERR_NODRIVER: return std::string(kind) + " Kein Treiber";
    case MMSYSERR_NOMEM: return std::string(kind) + " Kein Speicher";
    default: return std::string(kind) + " unkown Error";
    }
}

} // namespace

void SelectInputDevice(int n)
{
    State().currentInput = (n >= 0 && n < si().waveInGetNumDevs() && n < kMaxDevices) ? n : 0;
    ForgetMissingDevice('I');
}

void SelectOutputDevice(int n)
{
    State().currentOutput = (n >= 0 && n < si().waveOutGetNumDevs() && n < kMaxDevices) ? n : 0;
    ForgetMissingDevice('O');
}

int GetInputDevice() { return State().currentInput; }
int GetOutputDevice() { return State().currentOutput; }

std::string DeviceName(char kind, int n)
{
    if (n < 0)
        return {};
    if (kind == 'I' && n < si().waveInGetNumDevs())
        return si().deviceName(n, true);
    if (kind == 'O' && n < si().waveOutGetNumDevs())
        return si().deviceName(n, false);
    return {};
}

std::string RunningStreamText(char kind, int n)
{
    if ((kind != 'I' && kind != 'O') || n < 0 || n >= (kind == 'I' ? si().waveInGetNumDevs() : si().waveOutGetNumDevs()))
        return {};
    const SoundBackend::RunningStream r = si().runningStream(n, kind == 'I');
    if (!r.known)
        return {};
    std::string text = "graph " + std::to_string(r.graphRate) + " Hz";
    if (r.quantum)
        text += ", quantum " + std::to_string(r.quantum);
    if (r.resampled)
        text += ", resampled from " + std::to_string(r.rate) + " Hz";
    return text;
}

std::uint32_t InputFormats(int n)
{
    return (n >= 0 && n < kMaxDevices) ? State().inputFormatMask[n] : 0;
}

bool QueryFormat(int rate, int bits, bool forInput)
{
    WaveFormat f;
    f.wFormatTag = 1;
    f.nChannels = 2;
    f.nSamplesPerSec = rate > 0 ? static_cast<std::uint32_t>(rate) : 0;
    f.wBitsPerSample = static_cast<std::uint16_t>(bits == 24 ? 32 : (bits > 0 ? bits : 0));
    f.nBlockAlign = static_cast<std::uint16_t>(2 * f.wBitsPerSample / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    f.cbSize = 0;
    const EngineState &s = State();
    return (forInput ? si().waveInQuery(s.currentInput, f) : si().waveOutQuery(s.currentOutput, f)) == 0;
}

std::string ErrorText(int code)
{
    return code <= 1000 ? si().waveInGetErrorText(code) : si().waveOutGetErrorText(code);
}

void DeviceReport(int &numIn, int &numOut, std::uint32_t &lastMask)
{
    EngineState &s = State();
    s.inputFormatMask.fill(0);
    lastMask = 0;
    si().refreshDevices();
    numIn = si().waveInGetNumDevs();
    numOut = si().waveOutGetNumDevs();
    const int numMidi = si().midiOutGetNumDevs();
    const int numAux = si().auxGetNumDevs();

    std::vector<std::string> log;
    log.push_back(std::string("--- Programm Version Win") + "32" + "  " + "1.4" + "g" + " ---");
    log.push_back("WaveInNumDevs  : " + std::to_string(numIn));
    log.push_back("WaveOutNumDevs : " + std::to_string(numOut));
    log.push_back("MidiNumDevs    : " + std::to_string(numMidi));
    log.push_back("AuxNumDevs     : " + std::to_string(numAux));
    log.push_back(" ");
    log.push_back("WaveIn´s ----------");
    s.log = std::move(log);
    if (numIn <= 0)
        return;

    for (int i = 0; i < numIn; ++i) {
        WaveInCaps caps;
        int rc = si().waveInGetDevCaps(i, caps);
        if (rc == 0) {
            if (i < kMaxDevices)
                s.inputFormatMask[i] = caps.formats;
            lastMask = caps.formats;
            s.log.push_back(caps.name);
            s.log.push_back(hexLine("Wave-In Formats   ", caps.formats));
            s.log.push_back(hexLine("Wave-In Channels  ", caps.channels));
            s.log.push_back(hexLine("Wave-In wReserved ", caps.reserved1));
        } else {
            s.log.push_back(capsFailure("(in:)", rc));
        }
    }
    s.log.push_back(" ");
    s.log.push_back("WaveOut´s ---------");
    for (int i = 0; i < numOut; ++i) {
        WaveOutCaps caps;
        int rc = si().waveOutGetDevCaps(i, caps);
        if (rc == 0) {
            s.log.push_back(caps.name);
            s.log.push_back(hexLine("Wave-Out Formats   ", caps.formats));
            s.log.push_back(hexLine("Wave-Out Support   ", caps.support));
            s.log.push_back(hexLine("Wave-Out Channnels ", caps.channels));
        } else {
            s.log.push_back(capsFailure("(out:)", rc));
        }
    }
    // What the sound server does with the streams open now.
    for (const char kind : {'I', 'O'}) {
        const int current = kind == 'I' ? s.currentInput : s.currentOutput;
        const std::string running = RunningStreamText(kind, current);
        if (!running.empty())
            s.log.push_back(std::string(kind == 'I' ? "Wave-In running   : " : "Wave-Out running  : ") + running);
    }
    s.log.push_back(" ");
    s.log.push_back("WaveAux´s ---------");
    // The sound interface has no auxiliary devices, so no lines follow.
}

} // namespace audio
