// The main window's settings sections: defaults of an empty file, the rules
// for invalid values, the order of reading and writing, and round trips.
#include "settings/settingsfile.h"
#include "settings/sweepsettings.h"
#include "platform/inifile.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

using namespace app;

namespace {

// Records what a load sets off and serves what a save asks for.
struct Hooks : SettingsHooks {
    std::vector<std::string> calls;
    int inDev = 0, outDev = 0, averages = -1;
    std::string inDevName, outDevName;
    std::string inName, outName;
    bool inActive = false, outActive = false;
    WindowGeometry scope{260, -1, -1, -1}, diagram{450, 320, 0, 0};
    std::int32_t left = 200, top = 200;

    void SelectInputDevice(int d, const std::string &n) override
    {
        calls.push_back("INDEV");
        inDev = d;
        inDevName = n;
    }
    void SelectOutputDevice(int d, const std::string &n) override
    {
        calls.push_back("OUTDEV");
        outDev = d;
        outDevName = n;
    }
    void LoadInputCorrection(const std::string &n) override { calls.push_back("INCONAME"); inName = n; }
    void LoadOutputCorrection(const std::string &n) override { calls.push_back("OUTCONAME"); outName = n; }
    void SetInputCorrectionActive(bool on) override { calls.push_back("INCOAKT"); inActive = on; }
    void SetOutputCorrectionActive(bool on) override { calls.push_back("OUTCOAKT"); outActive = on; }
    void SetAverageValue(int a) override { calls.push_back("AVERAGE"); averages = a; }
    int InputDevice() override { return inDev; }
    int OutputDevice() override { return outDev; }
    std::string InputDeviceName() override { return inDevName; }
    std::string OutputDeviceName() override { return outDevName; }
    std::string InputCorrectionName() override { return inName; }
    std::string OutputCorrectionName() override { return outName; }
    bool InputCorrectionActive() override { return inActive; }
    bool OutputCorrectionActive() override { return outActive; }
    WindowGeometry ScopeWindowGeometry() override { return scope; }
    WindowGeometry DiagramWindowGeometry() override { return diagram; }
    void MainWindowPosition(std::int32_t &l, std::int32_t &t) override { l = left; t = top; }
};

struct Loaded {
    MeasurementState ms;
    MainWindowFields fields;
    Hooks hooks;
    std::string path;

    // Saves into the loaded file, the live windows reporting what was loaded.
    std::string save()
    {
        hooks.scope = ms.ScopeGeometry;
        hooks.diagram = ms.DiagramGeometry;
        hooks.left = ms.MainLeft;
        hooks.top = ms.MainTop;
        platform::IniFile ini(path);
        EXPECT_TRUE(ini.load());
        SaveSettings(ini, ms, fields, hooks);
        EXPECT_TRUE(ini.save());
        return testsupport::ReadFile(path);
    }
};

Loaded load(const std::string &text)
{
    Loaded l;
    l.path = testsupport::ScratchDir("load") + "/sonmain.ini";
    testsupport::WriteFile(l.path, text);
    platform::IniFile ini(l.path);
    EXPECT_TRUE(ini.load());
    LoadSettings(ini, l.ms, l.fields, l.hooks);
    return l;
}

} // namespace

TEST(Settings, AnEmptyFileGivesTheBuiltInSettingsWrittenInTheirOrder)
{
    Loaded l = load("");
    EXPECT_EQ(l.hooks.calls,
              (std::vector<std::string>{"INDEV", "OUTDEV", "INCONAME", "OUTCONAME", "INCOAKT", "OUTCOAKT", "AVERAGE"}));
    EXPECT_EQ(l.hooks.averages, 1);
    EXPECT_FLOAT_EQ(l.ms.AnalyserRange.LevelStep, 5.0f);
    EXPECT_EQ(l.save(),
              "[MAIN]\nPAGE=0\nINDEV=0\nOUTDEV=0\nSPRACHE=D\nINCONAME=\nOUTCONAME=\nINCOAKT=FALSE\nOUTCOAKT=FALSE\n"
              "LEFT=200\nTOP=200\n\n"
              "[EICH]\nINPUT=497.0\nOUTPUT=123.0\nInLev4Cal=-1\n\n"
              "[VOLUME]\nFGVOLUME=20\nFGINVOLUME=100\nPEGFAK=8.7220\nPEGOFS=12.6000\nAUDIOINCHANNEL=0\n\n"
              "[FFT]\nWIN=8\nSAMPLES=1024\nAVERAGE=1\nCOMMENT=remark:\nDIAYMIN=-110\nDIAYMAX=0\nDBMODE=0\n"
              "DIAXMIN=10\nDIAXMAX=24000\n\n"
              "[WOB]\nFROM=20\nTO=22000\nSTEPS=50\nMETHODE=LOG\nPHASE=FALSE\nCOMMENT=remark:\nREFMESS=0\n"
              "DIAYMIN=-45\nDIAYMAX=5\nPMIN=-90\nPMAX=90\nPEGDIG=0.0\nSTARTMESS=100\n\n"
              "[LOGSWEEP]\nMETHOD=STEPPED\nSECONDS=3.000\nAVERAGES=1\nWINDOWMS=300.0\nSMOOTHING=0\nHARMONICS=TRUE\n\n"
              "[DISTSWEEP]\nVS=FREQUENCY\nFROMHZ=50\nTOHZ=10000\nSTEPS=30\nLEVEL=-6\nFREQUENCY=1000.00\nFROMDB=-60\n"
              "TODB=0\nSTEPDB=6\nSETTLE=300\nHARMONICS=TRUE\nUNIT=DBFS\nLOAD=8.000\n\n"
              "[OSZI]\nDIV1=10\nDIV2=10\nTB=5\nGND1=FALSE\nGND2=FALSE\nTRIPOS=TRUE\nTRICH1=TRUE\nyposCh1=6.020\n"
              "yposCh2=2.000\nSAMPLEF=44100\nOMESSW=1024\nWIDTH=260\nHEIGHT=-1\nLEFT=-1\nTOP=-1\n\n"
              "[NOISE]\nREFERENCE=0.00\nLEFT=-1\nTOP=-1\n\n"
              "[DIAGRAMM]\nWIDTH=450\nHEIGHT=320\nLEFT=0\nTOP=0\n");
}

TEST(Settings, InvalidValuesFallBackByTheirOwnRules)
{
    // parse errors and missing keys have different fallbacks for PEGFAK (20/ln 10) and DIAYMIN (-100)
    EXPECT_FLOAT_EQ(load("[VOLUME]\nPEGFAK=abc\n").ms.LevelFactor, 8.685889f);
    EXPECT_FLOAT_EQ(load("[VOLUME]\nPEGOFS=1,5\n").ms.LevelOffset, 12.6f);
    EXPECT_FLOAT_EQ(load("[VOLUME]\nPEGOFS=NaN\n").ms.LevelOffset, 12.6f);
    EXPECT_FLOAT_EQ(load("[FFT]\nDIAYMIN=abc\n").ms.AnalyserRange.LevelMin, -100.0f);
    EXPECT_FLOAT_EQ(load("[EICH]\nINPUT=-1\n").ms.InputCalibration, 497.0f);
    EXPECT_FLOAT_EQ(load("[EICH]\nINPUT=775.5\n").ms.InputCalibration, 775.5f);
    EXPECT_EQ(load("[WOB]\nPEGDIG=-1\n").ms.Sweep.LevelDig, 0.0f);
    EXPECT_EQ(load("[WOB]\nSTARTMESS=250\n").ms.Sweep.SettleMs, 250);
    // counts and indices
    EXPECT_EQ(load("[FFT]\nAVERAGE=-5\n").ms.Averages, 5);
    EXPECT_EQ(load("[FFT]\nAVERAGE=0\n").ms.Averages, 1);
    EXPECT_EQ(load("[WOB]\nFROM=0\nTO=0\n").ms.Sweep.FreqTo, 22000);
    EXPECT_EQ(load("[MAIN]\nPAGE=3\n").fields.ActivePage, 0);
    EXPECT_EQ(load("[MAIN]\nPAGE=2\n").fields.ActivePage, 2);
    EXPECT_EQ(load("[MAIN]\nINDEV=32\n").hooks.inDev, 0); // 32 devices of each direction
    EXPECT_EQ(load("[MAIN]\nINDEV=31\n").hooks.inDev, 31);
    EXPECT_EQ(load("[MAIN]\nINDEV=6\n").hooks.inDev, 6);
    EXPECT_EQ(load("[MAIN]\nINDEV=-1\n").hooks.inDev, 0);
    EXPECT_EQ(load("[MAIN]\nOUTDEV=99\n").hooks.outDev, 0);
    EXPECT_EQ(load("[VOLUME]\nAUDIOINCHANNEL=-3\n").fields.InputChannel, 0);
    EXPECT_EQ(load("[VOLUME]\nAUDIOINCHANNEL=4\n").fields.InputChannel, 4);
    EXPECT_EQ(load("[MAIN]\nSPRACHE=English\n").ms.Language, 'E');
    EXPECT_EQ(load("[MAIN]\nSPRACHE=x\n").ms.Language, 'x');
    EXPECT_FLOAT_EQ(load("[OSZI]\nyposCh1=up\n").ms.Scope.Position1, 0.0f); // keeps the value it had
    // booleans are false only for the exact upper-case text
    Loaded b = load("[MAIN]\nINCOAKT=false\nOUTCOAKT=FALSE\n[OSZI]\nTRIPOS=\nGND1=no\n[WOB]\nMETHODE=log\n");
    EXPECT_TRUE(b.hooks.inActive);
    EXPECT_FALSE(b.hooks.outActive);
    EXPECT_TRUE(b.ms.Scope.RisingSlope);
    EXPECT_TRUE(b.ms.Scope.Ground1);
    EXPECT_TRUE(b.ms.Sweep.Linear);
    // values that would index beyond their tables: window 0..8, unit 0..3, volts 1..14, timebase 1..9, mode 0..2
    Loaded t = load("[FFT]\nWIN=12\nDBMODE=7\n[OSZI]\nDIV1=0\nDIV2=15\nTB=10\n[WOB]\nREFMESS=5\nSTEPS=-4\n"
                    "[VOLUME]\nFGVOLUME=250\nFGINVOLUME=-20\n");
    EXPECT_EQ(t.ms.FftWindow, 8);
    EXPECT_EQ(t.ms.LevelUnit, 0);
    EXPECT_EQ(t.ms.Scope.VoltsIndex1, 10);
    EXPECT_EQ(t.ms.Scope.VoltsIndex2, 10);
    EXPECT_EQ(t.ms.Scope.TimebaseIndex, 5);
    EXPECT_EQ(t.ms.Sweep.Mode, 0);
    EXPECT_EQ(t.ms.Sweep.Steps, 50);
    // the sweep's step count and level stay within the setup dialog's
    // ranges: a count near 2^31 would overflow the step counters, a level
    // above full scale clip every step
    EXPECT_EQ(load("[WOB]\nSTEPS=2147483647\n").ms.Sweep.Steps, 1000);
    EXPECT_EQ(load("[WOB]\nSTEPS=1000\n").ms.Sweep.Steps, 1000);
    EXPECT_EQ(load("[WOB]\nPEGDIG=12\n").ms.Sweep.LevelDig, 0.0f);
    EXPECT_EQ(load("[WOB]\nPEGDIG=-250\n").ms.Sweep.LevelDig, -200.0f);
    EXPECT_EQ(load("[WOB]\nPEGDIG=-6.5\n").ms.Sweep.LevelDig, -6.5f);
    EXPECT_EQ(t.fields.OutputVolume, 100);
    EXPECT_EQ(t.fields.InputVolume, 0);
    EXPECT_EQ(load("[VOLUME]\nFGINVOLUME=1e9\n").fields.InputVolume, 100);
    // comments are cut to 120 characters; file names pass whole (CorrectionFileNamesAreNeverCut)
    const std::string longText(200, 'c');
    Loaded c = load("[MAIN]\nINCONAME=" + longText + "\n[FFT]\nCOMMENT=" + longText + "\n[WOB]\nCOMMENT=" + longText);
    EXPECT_EQ(c.ms.AnalyserComment, std::string(120, 'c'));
    EXPECT_EQ(c.ms.Sweep.Title, std::string(120, 'c'));
    EXPECT_EQ(c.hooks.inName, longText);
    // the diagram window is clamped when applied
    const WindowGeometry g = ClampDiagramGeometry({5000, 10, 3, 4});
    EXPECT_EQ(std::vector<int>({g.Width, g.Height, g.Left, g.Top}), std::vector<int>({1024, 140, 3, 4}));
}

TEST(Settings, RoundTripKeepsEveryWrittenKeyAndForeignSectionsAndDropsTheDiagramStep)
{
    const std::string original =
        "[SDSOUND]\nSINWAVERAM2=16384\n"
        "[MAIN]\nPAGE=1\nINDEV=2\nOUTDEV=3\nINDEVNAME=alsa_input.usb-Focusrite_Scarlett-00.analog-stereo\n"
        "OUTDEVNAME=hw:CARD=PCH,DEV=0\nSPRACHE=E\nINCONAME=/tmp/in.cor\nOUTCONAME=\nINCOAKT=TRUE\n"
        "OUTCOAKT=FALSE\nLEFT=17\nTOP=-4\n"
        "[EICH]\nINPUT=775.0\nOUTPUT=300.5\nInLev4Cal=80\n"
        "[VOLUME]\nFGVOLUME=33\nFGINVOLUME=77\nPEGFAK=8.6859\nPEGOFS=-3.2500\nAUDIOINCHANNEL=2\n"
        "[FFT]\nWIN=3\nSAMPLES=8192\nAVERAGE=16\nCOMMENT=amp test\nDIAYMIN=-140\nDIAYMAX=10\nDIAYSTEP=10\n"
        "DBMODE=2\nDIAXMIN=20\nDIAXMAX=20000\n"
        "[WOB]\nFROM=10\nTO=40000\nSTEPS=200\nMETHODE=LIN\nPHASE=TRUE\nCOMMENT=speaker\nREFMESS=2\n"
        "DIAYMIN=-60\nDIAYMAX=10\nPMIN=-180\nPMAX=180\nPEGDIG=-6.0\nSTARTMESS=300\n"
        "[LOGSWEEP]\nMETHOD=LOGSWEEP\nSECONDS=0.750\nAVERAGES=4\nWINDOWMS=12.5\nSMOOTHING=12\nHARMONICS=FALSE\n"
        "[DISTSWEEP]\nVS=LEVEL\nFROMHZ=100\nTOHZ=8000\nSTEPS=12\nLEVEL=-12\nFREQUENCY=997.00\nFROMDB=-70\n"
        "TODB=-4\nSTEPDB=3\nSETTLE=250\nHARMONICS=FALSE\nUNIT=DBU\nLOAD=600.000\n"
        "[OSZI]\nDIV1=3\nDIV2=14\nTB=9\nGND1=TRUE\nGND2=FALSE\nTRIPOS=FALSE\nTRICH1=FALSE\nyposCh1=1.250\n"
        "yposCh2=-2.500\nSAMPLEF=96000\nOMESSW=4096\nWIDTH=300\nHEIGHT=250\nLEFT=10\nTOP=20\n"
        "[NOISE]\nREFERENCE=-12.50\nLEFT=640\nTOP=-1\n"
        "[DIAGRAMM]\nWIDTH=800\nHEIGHT=600\nLEFT=30\nTOP=40\n"
        "[GEN]\nFREQ=1000\n";
    Loaded l = load(original);
    EXPECT_EQ(l.hooks.inDevName, "alsa_input.usb-Focusrite_Scarlett-00.analog-stereo");
    EXPECT_EQ(l.hooks.outDevName, "hw:CARD=PCH,DEV=0");
    EXPECT_FLOAT_EQ(l.ms.AnalyserRange.LevelStep, 10.0f);
    EXPECT_EQ(l.save(), original); // DIAYSTEP is read, never written: it stays as it was

    Loaded fresh = load("");
    fresh.ms.AnalyserRange.LevelStep = 10;
    EXPECT_EQ(fresh.save().find("DIAYSTEP"), std::string::npos);
}


// A correction file's name is handed on whole and written back whole: a
// name cut to the read buffer would name another file, which the loader
// would create and measure with.
TEST(Settings, CorrectionFileNamesAreNeverCut)
{
    const std::string in = "/data/" + std::string(147, 'i') + ".cor";   // 157 characters
    const std::string out = "/data/" + std::string(290, 'o') + ".cor";  // beyond 255: the loader refuses it
    Loaded l = load("[MAIN]\nINCONAME=" + in + "\nOUTCONAME=" + out + "\n");
    EXPECT_EQ(l.hooks.inName, in);
    EXPECT_EQ(l.hooks.outName, out);
    const std::string saved = l.save();
    EXPECT_NE(saved.find("INCONAME=" + in + "\n"), std::string::npos);
    EXPECT_NE(saved.find("OUTCONAME=" + out + "\n"), std::string::npos);
}

// The sweep's one validation, against the setup dialog's rules: the stop
// frequency at most 55200 Hz and above the start (else start + 100), the
// start at least 1, 1..1000 steps, -200..0 dB, 0..100000 ms.
TEST(SweepParameters, TheSetupDialogsRangesRepairAndRefuseAlike)
{
    struct Case {
        SweepParameters in, repaired;
        const char *fault; // part of the refusal, or "" when in range
    };
    const Case cases[] = {
        {{false, 1, 55200, 1000, 0, 100000, -200.0f}, {false, 1, 55200, 1000, 0, 100000, -200.0f}, ""},
        {{true, 55100, 55200, 1, 2, 0, 0.0f}, {true, 55100, 55200, 1, 2, 0, 0.0f}, ""},
        {{false, 20000, 100, 50, 0, 100, 0.0f}, {false, 20000, 20100, 50, 0, 100, 0.0f}, "stop frequency 100 Hz"},
        {{false, 0, 22000, 50, 0, 100, 0.0f}, {false, 1, 22000, 50, 0, 100, 0.0f}, "start frequency 0 Hz"},
        {{false, 55200, 55200, 50, 0, 100, 0.0f}, {false, 55100, 55200, 50, 0, 100, 0.0f}, "start frequency 55200"},
        {{false, 20, 60000, 50, 0, 100, 0.0f}, {false, 20, 55200, 50, 0, 100, 0.0f}, "lies above 55200 Hz"},
        {{false, 20, 22000, 1001, 0, 100, 0.0f}, {false, 20, 22000, 1000, 0, 100, 0.0f}, "step count 1001"},
        {{false, 20, 22000, 0, 0, 100, 0.0f}, {false, 20, 22000, 1, 0, 100, 0.0f}, "step count 0"},
        {{false, 20, 22000, 50, 0, 100, 0.5f}, {false, 20, 22000, 50, 0, 100, 0.0f}, "level 0.5 dB"},
        {{false, 20, 22000, 50, 0, 100, -200.5f}, {false, 20, 22000, 50, 0, 100, -200.0f}, "level -200.5 dB"},
        {{false, 20, 22000, 50, 0, -1, 0.0f}, {false, 20, 22000, 50, 0, 0, 0.0f}, "settling time -1 ms"},
        {{false, 20, 22000, 50, 0, 100001, 0.0f}, {false, 20, 22000, 50, 0, 100000, 0.0f}, "settling time 100001"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault);
        SweepParameters p = c.in;
        RepairSweepParameters(p);
        EXPECT_EQ(p.FreqFrom, c.repaired.FreqFrom);
        EXPECT_EQ(p.FreqTo, c.repaired.FreqTo);
        EXPECT_EQ(p.Steps, c.repaired.Steps);
        EXPECT_EQ(p.SettleMs, c.repaired.SettleMs);
        EXPECT_FLOAT_EQ(p.LevelDig, c.repaired.LevelDig);
        const std::string fault = SweepParameterFault(c.in);
        if (*c.fault == 0)
            EXPECT_EQ(fault, "");
        else
            EXPECT_NE(fault.find(c.fault), std::string::npos) << fault;
    }
}

// Files of earlier versions hold the numbers only: they still choose, and a
// save adds no name for a device without one. A name that went (its device
// has none now) leaves the file, so that it cannot outvote the number.
TEST(Settings, DeviceNamesBesideTheNumbers)
{
    Loaded old = load("[MAIN]\nINDEV=4\nOUTDEV=1\n");
    EXPECT_EQ(old.hooks.inDev, 4);
    EXPECT_EQ(old.hooks.outDev, 1);
    EXPECT_EQ(old.hooks.inDevName, "");
    EXPECT_EQ(old.hooks.outDevName, "");
    EXPECT_EQ(old.save().find("DEVNAME"), std::string::npos);

    // Names are taken whole (longer than the 153 characters of other values).
    const std::string longName = "alsa_input." + std::string(200, 'n');
    Loaded named = load("[MAIN]\nINDEV=40\nINDEVNAME=" + longName + "\nOUTDEVNAME=hw:CARD=PCH,DEV=0\n");
    EXPECT_EQ(named.hooks.inDev, 0);
    EXPECT_EQ(named.hooks.inDevName, longName);
    named.hooks.outDevName.clear();
    const std::string saved = named.save();
    EXPECT_NE(saved.find("INDEVNAME=" + longName + "\n"), std::string::npos);
    EXPECT_EQ(saved.find("OUTDEVNAME"), std::string::npos);
}

TEST(Settings, TheLogSweepSectionRepairsBadValuesToItsDefaults)
{
    // (Written and read back whole by the round trip above; a file without
    // the section gives the defaults written by the first test.) Each bad
    // value falls back to its own default, a good one beside them stays.
    const LogSweepSettings d;
    const Loaded bad = load("[LOGSWEEP]\nMETHOD=FAST\nSECONDS=0,5\nAVERAGES=101\nWINDOWMS=501\nSMOOTHING=5\n"
                            "HARMONICS=FALSE\n");
    const LogSweepSettings &b = bad.ms.Sweep.Log;
    EXPECT_TRUE(b.Method == SweepMethod::Stepped && b.Seconds == d.Seconds && b.Averages == d.Averages &&
                b.WindowMs == d.WindowMs && b.Smoothing == d.Smoothing && !b.Harmonics);
    for (const char *seconds : {"0.09", "60.5", "nan", "-3", "1e999"})
        EXPECT_EQ(load(std::string("[LOGSWEEP]\nSECONDS=") + seconds + "\n").ms.Sweep.Log.Seconds, 3.0) << seconds;
    EXPECT_EQ(load("[LOGSWEEP]\nSECONDS=60\nAVERAGES=100\n").ms.Sweep.Log.Seconds, 60.0);
    EXPECT_EQ(load("[LOGSWEEP]\nAVERAGES=0\n").ms.Sweep.Log.Averages, 1);
    EXPECT_EQ(load("[LOGSWEEP]\nAVERAGES=100\n").ms.Sweep.Log.Averages, 100);
    EXPECT_EQ(load("[LOGSWEEP]\nWINDOWMS=0.5\n").ms.Sweep.Log.WindowMs, 300.0);
    EXPECT_EQ(load("[LOGSWEEP]\nSMOOTHING=48\n").ms.Sweep.Log.Smoothing, 48);
    EXPECT_EQ(load("[LOGSWEEP]\nSMOOTHING=-3\n").ms.Sweep.Log.Smoothing, 0);
}

TEST(Settings, TheDistortionSweepSectionKeepsItsFieldsAndRepairsBadOnes)
{
    // A whole section read, written and read again; the method is the log
    // sweep section's.
    Loaded good = load("[LOGSWEEP]\nMETHOD=DISTORTION\n[DISTSWEEP]\nVS=LEVEL\nFROMHZ=20\nTOHZ=20000\nSTEPS=7\n"
                       "LEVEL=-20\nFREQUENCY=997.5\nFROMDB=-80\nTODB=-10\nSTEPDB=5\nSETTLE=150\nHARMONICS=FALSE\n");
    const std::string saved = good.save();
    EXPECT_NE(saved.find("METHOD=DISTORTION\n"), std::string::npos);
    EXPECT_NE(saved.find("[DISTSWEEP]\nVS=LEVEL\nFROMHZ=20\nTOHZ=20000\nSTEPS=7\nLEVEL=-20\nFREQUENCY=997.50\n"
                         "FROMDB=-80\nTODB=-10\nSTEPDB=5\nSETTLE=150\nHARMONICS=FALSE\n"),
              std::string::npos)
        << saved;
    const Loaded again = load(saved);
    const DistortionSweepSettings &g = again.ms.Sweep.Dist;
    EXPECT_TRUE(again.ms.Sweep.Log.Method == SweepMethod::Distortion);
    EXPECT_TRUE(g.Vs == DistortionAxis::Level && g.FromHz == 20 && g.ToHz == 20000 && g.Steps == 7 &&
                g.LevelDb == -20 && g.FrequencyHz == 997.5 && g.FromDb == -80 && g.ToDb == -10 && g.StepDb == 5 &&
                g.SettleMs == 150 && !g.Harmonics);

    // Each bad field back to its default; a reversed or clipping range to
    // both defaults; good fields beside them stay.
    const DistortionSweepSettings d;
    const Loaded bad = load("[DISTSWEEP]\nVS=SIDEWAYS\nFROMHZ=5000\nTOHZ=400\nSTEPS=0\nLEVEL=3\nFREQUENCY=0,5\n"
                            "FROMDB=-20\nTODB=6\nSTEPDB=61\nSETTLE=-1\nHARMONICS=TRUE\n");
    const DistortionSweepSettings &b = bad.ms.Sweep.Dist;
    EXPECT_TRUE(b.Vs == DistortionAxis::Frequency);
    EXPECT_EQ(b.FromHz, d.FromHz);
    EXPECT_EQ(b.ToHz, d.ToHz);
    EXPECT_EQ(b.Steps, d.Steps);
    EXPECT_EQ(b.LevelDb, d.LevelDb);
    EXPECT_EQ(b.FrequencyHz, d.FrequencyHz);
    EXPECT_EQ(b.FromDb, d.FromDb);
    EXPECT_EQ(b.ToDb, d.ToDb);
    EXPECT_EQ(b.StepDb, d.StepDb);
    EXPECT_EQ(b.SettleMs, d.SettleMs);
    EXPECT_EQ(load("[DISTSWEEP]\nFROMDB=-30\nTODB=-30\n").ms.Sweep.Dist.FromDb, -30); // one step is a range
    EXPECT_EQ(load("[DISTSWEEP]\nFREQUENCY=nan\n").ms.Sweep.Dist.FrequencyHz, 1000.0);
    // The noise window's reference: no number, beyond its range or not
    // finite is 0 dBFS; a decimal comma is no number.
    for (const char *bad : {"abc", "21", "-200.5", "nan", "inf", "-3,5"})
        EXPECT_EQ(load(std::string("[NOISE]\nREFERENCE=") + bad + "\n").ms.Noise.ReferenceDbfs, 0.0) << bad;
    EXPECT_EQ(load("[NOISE]\nREFERENCE=-200\n").ms.Noise.ReferenceDbfs, -200.0);
    EXPECT_TRUE(load("[LOGSWEEP]\nMETHOD=distortion\n").ms.Sweep.Log.Method == SweepMethod::Stepped);
}

// VS=IMD, UNIT and LOAD kept through a save and a load (decimal point); an
// unknown unit or a load that is no number within 0.001 Ω..1 MΩ back to dBFS
// and 8 Ω, the other fields left alone; earlier files read dBFS and 8 Ω.
TEST(Settings, TheTwoToneLevelSweepAndTheLevelAxisUnitAndLoad)
{
    Loaded imd = load("[DISTSWEEP]\nVS=IMD\nFROMDB=-40\nUNIT=W\nLOAD=4.5\n");
    const std::string saved = imd.save();
    for (const char *line : {"[DISTSWEEP]\nVS=IMD\n", "\nUNIT=W\n", "\nLOAD=4.500\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line << saved;
    const DistortionSweepSettings g = load(saved).ms.Sweep.Dist;
    EXPECT_TRUE(g.Vs == DistortionAxis::Imd && g.Unit == DistortionUnit::Watt && g.LoadOhms == 4.5 && g.FromDb == -40);
    EXPECT_TRUE(load("[DISTSWEEP]\nUNIT=DBU\n").ms.Sweep.Dist.Unit == DistortionUnit::Dbu);
    for (const char *bad : {"UNIT=dbv\nLOAD=0\n", "UNIT=VOLT\nLOAD=-8\n", "UNIT=3\nLOAD=nan\n", "LOAD=1e7\n",
                            "LOAD=8,5\n"}) {
        const DistortionSweepSettings b = load(std::string("[DISTSWEEP]\nVS=LEVEL\nFROMDB=-30\n") + bad).ms.Sweep.Dist;
        EXPECT_TRUE(b.Unit == DistortionUnit::DbFS && b.LoadOhms == 8.0) << bad;
        EXPECT_TRUE(b.Vs == DistortionAxis::Level && b.FromDb == -30) << bad;
    }
    EXPECT_TRUE(load("[DISTSWEEP]\nVS=imd\n").ms.Sweep.Dist.Vs == DistortionAxis::Frequency);
}

TEST(SweepParameters, ALogSweepRunTakesRangeLevelAndModeFromTheSweepAndTheRestFromItsSection)
{
    SweepSettings w;
    w.FreqFrom = 50;
    w.FreqTo = 18000;
    w.LevelDig = -12.5f;
    w.Mode = 2;
    w.Log.Seconds = 1.5;
    w.Log.Averages = 3;
    w.Log.WindowMs = 40.0;
    w.Log.Smoothing = 6;
    w.Log.Harmonics = false;
    dsp::LogSweepParameters p = LogSweepParametersOf(w, w.Log);
    EXPECT_TRUE(p.FromHz == 50.0 && p.ToHz == 18000.0 && p.LevelDb == -12.5 && p.Mode == 2 && p.Seconds == 1.5 &&
                p.Averages == 3 && p.WindowMs == 40.0 && p.Smoothing == 6 && p.Harmonics == 1);
    w.Log.Harmonics = true;
    EXPECT_EQ(LogSweepParametersOf(w, w.Log).Harmonics, 5);
}
