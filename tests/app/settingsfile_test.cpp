// The main window's settings sections: defaults of an empty file, the rules
// for invalid values, the order of reading and writing, and round trips.
#include "app/settingsfile.h"
#include "platform/inifile.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace app;

namespace {

// Records what a load sets off and serves what a save asks for.
struct Hooks : SettingsHooks {
    std::vector<std::string> calls;
    int inDev = 0, outDev = 0, averages = -1;
    std::string inName, outName;
    bool inActive = false, outActive = false;
    WindowGeometry scope{260, -1, -1, -1}, diagram{450, 320, 0, 0};
    std::int32_t left = 200, top = 200;

    void SelectInputDevice(int d) override { calls.push_back("INDEV"); inDev = d; }
    void SelectOutputDevice(int d) override { calls.push_back("OUTDEV"); outDev = d; }
    void LoadInputCorrection(const std::string &n) override { calls.push_back("INCONAME"); inName = n; }
    void LoadOutputCorrection(const std::string &n) override { calls.push_back("OUTCONAME"); outName = n; }
    void SetInputCorrectionActive(bool on) override { calls.push_back("INCOAKT"); inActive = on; }
    void SetOutputCorrectionActive(bool on) override { calls.push_back("OUTCOAKT"); outActive = on; }
    void SetAverageValue(int a) override { calls.push_back("AVERAGE"); averages = a; }
    int InputDevice() override { return inDev; }
    int OutputDevice() override { return outDev; }
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
};

Loaded load(const std::string &text)
{
    std::string path = testsupport::ScratchDir("load") + "/sonmain.ini";
    testsupport::WriteFile(path, text);
    platform::IniFile ini(path);
    EXPECT_TRUE(ini.load());
    Loaded l;
    LoadSettings(ini, l.ms, l.fields, l.hooks);
    return l;
}

} // namespace

TEST(SettingsLoad, AnEmptyFileGivesTheBuiltInSettings)
{
    Loaded l = load("");
    const MeasurementState &ms = l.ms;
    EXPECT_EQ(l.fields.ActivePage, 0);
    EXPECT_EQ(l.hooks.inDev, 0);
    EXPECT_EQ(l.hooks.outDev, 0);
    EXPECT_EQ(ms.Language, 'D');
    EXPECT_EQ(l.hooks.inName, "");
    EXPECT_EQ(l.hooks.outName, "");
    EXPECT_FALSE(l.hooks.inActive);
    EXPECT_FALSE(l.hooks.outActive);
    EXPECT_FLOAT_EQ(ms.InputCalibration, 497.0f);
    EXPECT_FLOAT_EQ(ms.OutputCalibration, 123.0f);
    EXPECT_EQ(ms.CalibratedInputVolume, -1);
    EXPECT_EQ(l.fields.OutputVolume, 20);
    EXPECT_EQ(l.fields.InputVolume, 100);
    EXPECT_FLOAT_EQ(ms.LevelFactor, 8.722f);
    EXPECT_FLOAT_EQ(ms.LevelOffset, 12.6f);
    EXPECT_EQ(l.fields.InputChannel, 0);
    EXPECT_EQ(ms.FftWindow, 8);
    EXPECT_EQ(ms.FftSize, 1024);
    EXPECT_EQ(ms.Averages, 1);
    EXPECT_EQ(l.hooks.averages, 1);
    EXPECT_EQ(ms.AnalyserComment, "remark:");
    EXPECT_EQ(ms.AnalyserRange.FreqMin, 10);
    EXPECT_EQ(ms.AnalyserRange.FreqMax, 24000);
    EXPECT_FLOAT_EQ(ms.AnalyserRange.LevelMin, -110.0f);
    EXPECT_FLOAT_EQ(ms.AnalyserRange.LevelMax, 0.0f);
    EXPECT_FLOAT_EQ(ms.AnalyserRange.LevelStep, 5.0f);
    EXPECT_EQ(ms.LevelUnit, 0);
    const SweepSettings &w = ms.Sweep;
    EXPECT_EQ(w.FreqFrom, 20);
    EXPECT_EQ(w.FreqTo, 22000);
    EXPECT_EQ(w.Steps, 50);
    EXPECT_FALSE(w.Linear);
    EXPECT_FALSE(w.PhaseOn);
    EXPECT_EQ(w.Mode, 0);
    EXPECT_EQ(w.Title, "remark:");
    EXPECT_FLOAT_EQ(w.YMin, -45.0f);
    EXPECT_FLOAT_EQ(w.YMax, 5.0f);
    EXPECT_FLOAT_EQ(w.PhaseMin, -90.0f);
    EXPECT_FLOAT_EQ(w.PhaseMax, 90.0f);
    EXPECT_FLOAT_EQ(w.LevelDig, 0.0f);
    EXPECT_EQ(w.SettleMs, 100);
    const ScopeState &s = ms.Scope;
    EXPECT_EQ(s.VoltsIndex1, 10); // 100 mV/div
    EXPECT_EQ(s.VoltsIndex2, 10);
    EXPECT_EQ(s.TimebaseIndex, 5); // 500 us/div
    EXPECT_FALSE(s.Ground1);
    EXPECT_FALSE(s.Ground2);
    EXPECT_TRUE(s.RisingSlope);
    EXPECT_TRUE(s.TriggerOnCh1);
    EXPECT_FLOAT_EQ(s.Position1, 6.02f);
    EXPECT_FLOAT_EQ(s.Position2, 2.0f);
    EXPECT_EQ(s.SampleRate, 44100);
    EXPECT_EQ(s.SamplesPerSweep, 1024);
    EXPECT_EQ(ms.ScopeGeometry.Width, 260);
    EXPECT_EQ(ms.ScopeGeometry.Height, -1);
    EXPECT_EQ(ms.ScopeGeometry.Left, -1);
    EXPECT_EQ(ms.ScopeGeometry.Top, -1);
    EXPECT_EQ(ms.DiagramGeometry.Width, 450);
    EXPECT_EQ(ms.DiagramGeometry.Height, 320);
    EXPECT_EQ(ms.DiagramGeometry.Left, 0);
    EXPECT_EQ(ms.DiagramGeometry.Top, 0);
    EXPECT_EQ(ms.MainLeft, 200);
    EXPECT_EQ(ms.MainTop, 200);
}

TEST(SettingsLoad, KeysActInTheirReadingOrder)
{
    Loaded l = load("");
    std::vector<std::string> expected = {"INDEV", "OUTDEV", "INCONAME", "OUTCONAME", "INCOAKT", "OUTCOAKT", "AVERAGE"};
    EXPECT_EQ(l.hooks.calls, expected);
}

TEST(SettingsLoad, ParseErrorsAndMissingKeysHaveDifferentFallbacks)
{
    // a missing PEGFAK takes its default text 8.722; an unparsable one 20/ln 10
    EXPECT_FLOAT_EQ(load("[VOLUME]\nPEGFAK=abc\n").ms.LevelFactor, 8.685889f);
    EXPECT_FLOAT_EQ(load("[VOLUME]\nPEGOFS=1,5\n").ms.LevelOffset, 12.6f);
    // FFT DIAYMIN: missing -110, unparsable -100
    EXPECT_FLOAT_EQ(load("[FFT]\nDIAYMIN=abc\n").ms.AnalyserRange.LevelMin, -100.0f);
    EXPECT_FLOAT_EQ(load("[EICH]\nINPUT=-1\nOUTPUT=x\n").ms.InputCalibration, 497.0f);
    EXPECT_FLOAT_EQ(load("[EICH]\nINPUT=775.5\n").ms.InputCalibration, 775.5f);
    EXPECT_EQ(load("[EICH]\nInLev4Cal=x\n").ms.CalibratedInputVolume, -1);
    EXPECT_EQ(load("[VOLUME]\nFGVOLUME=-1\nFGINVOLUME=55\n").fields.OutputVolume, 20);
    EXPECT_EQ(load("[VOLUME]\nFGVOLUME=-1\nFGINVOLUME=55\n").fields.InputVolume, 55);
    EXPECT_EQ(load("[WOB]\nPEGDIG=-1\n").ms.Sweep.LevelDig, 0.0f);
    EXPECT_EQ(load("[WOB]\nSTARTMESS=-1\n").ms.Sweep.SettleMs, 100);
    EXPECT_EQ(load("[WOB]\nSTARTMESS=250\n").ms.Sweep.SettleMs, 250);
}

TEST(SettingsLoad, BooleansAreFalseOnlyForTheExactUpperCaseText)
{
    Loaded l = load("[MAIN]\nINCONAME=in.cor\nOUTCONAME=out.cor\nINCOAKT=false\nOUTCOAKT=FALSE\n"
                    "[OSZI]\nTRIPOS=\nGND1=no\n");
    EXPECT_TRUE(l.hooks.inActive);
    EXPECT_FALSE(l.hooks.outActive);
    EXPECT_TRUE(l.ms.Scope.RisingSlope);
    EXPECT_TRUE(l.ms.Scope.Ground1);
}

TEST(SettingsLoad, RangeRulesOfTheIndicesAndCounts)
{
    EXPECT_EQ(load("[FFT]\nAVERAGE=-5\n").ms.Averages, 5);
    EXPECT_EQ(load("[FFT]\nAVERAGE=-1\n").ms.Averages, 1);
    EXPECT_EQ(load("[WOB]\nFROM=0\nTO=0\n").ms.Sweep.FreqFrom, 20);
    EXPECT_EQ(load("[WOB]\nFROM=0\nTO=0\n").ms.Sweep.FreqTo, 22000);
    EXPECT_EQ(load("[MAIN]\nPAGE=3\n").fields.ActivePage, 0);
    EXPECT_EQ(load("[MAIN]\nPAGE=2\n").fields.ActivePage, 2);
    EXPECT_EQ(load("[MAIN]\nINDEV=6\nOUTDEV=x\n").hooks.inDev, 0);
    EXPECT_EQ(load("[MAIN]\nINDEV=5\nOUTDEV=x\n").hooks.inDev, 5);
    EXPECT_EQ(load("[VOLUME]\nAUDIOINCHANNEL=-3\n").fields.InputChannel, 0);
    EXPECT_EQ(load("[VOLUME]\nAUDIOINCHANNEL=4\n").fields.InputChannel, 4);
    EXPECT_TRUE(load("[WOB]\nMETHODE=log\n").ms.Sweep.Linear);
    EXPECT_FALSE(load("[WOB]\nMETHODE=LOG\n").ms.Sweep.Linear);
    EXPECT_EQ(load("[MAIN]\nSPRACHE=English\n").ms.Language, 'E');
    EXPECT_EQ(load("[MAIN]\nSPRACHE=x\n").ms.Language, 'x');
    // yposCh1 that does not parse leaves the value as it was (0 at start)
    EXPECT_FLOAT_EQ(load("[OSZI]\nyposCh1=up\n").ms.Scope.Position1, 0.0f);
}

TEST(SettingsLoad, ValuesThatWouldIndexBeyondTheirTablesFallBackToTheDefaults)
{
    // window 0..8, unit 0..3, volts 1..14, timebase 1..9, reference mode 0..2
    Loaded l = load("[FFT]\nWIN=12\nDBMODE=7\n[OSZI]\nDIV1=0\nDIV2=15\nTB=10\n[WOB]\nREFMESS=5\nSTEPS=-4\n"
                    "[VOLUME]\nFGVOLUME=250\nFGINVOLUME=-20\n[FFT]\nAVERAGE=0\n");
    EXPECT_EQ(l.ms.FftWindow, 8);
    EXPECT_EQ(l.ms.LevelUnit, 0);
    EXPECT_EQ(l.ms.Scope.VoltsIndex1, 10);
    EXPECT_EQ(l.ms.Scope.VoltsIndex2, 10);
    EXPECT_EQ(l.ms.Scope.TimebaseIndex, 5);
    EXPECT_EQ(l.ms.Sweep.Mode, 0);
    EXPECT_EQ(l.ms.Sweep.Steps, 50);
    EXPECT_EQ(l.fields.OutputVolume, 100);
    EXPECT_EQ(l.fields.InputVolume, 0);
}

TEST(SettingsLoad, CommentsAreCutTo120Characters)
{
    std::string longText(200, 'c');
    Loaded l = load("[FFT]\nCOMMENT=" + longText + "\n[WOB]\nCOMMENT=" + longText + "\n");
    EXPECT_EQ(l.ms.AnalyserComment, std::string(120, 'c'));
    EXPECT_EQ(l.ms.Sweep.Title, std::string(120, 'c'));
    // names pass through the 154-character read buffer
    Loaded n = load("[MAIN]\nINCONAME=" + longText + "\n");
    EXPECT_EQ(n.hooks.inName, std::string(153, 'c'));
}

TEST(SettingsGeometry, TheDiagramWindowIsClampedWhenApplied)
{
    WindowGeometry g = ClampDiagramGeometry({5000, 10, 3, 4});
    EXPECT_EQ(g.Width, 1024);
    EXPECT_EQ(g.Height, 140);
    EXPECT_EQ(g.Left, 3);
    EXPECT_EQ(g.Top, 4);
}

TEST(SettingsSave, AFreshFileListsEveryKeyInWritingOrder)
{
    std::string path = testsupport::ScratchDir("fresh") + "/sonmain.ini";
    platform::IniFile ini(path);
    ini.load();
    MeasurementState ms;
    MainWindowFields fields;
    Hooks hooks;
    SaveSettings(ini, ms, fields, hooks);
    ASSERT_TRUE(ini.save());
    const std::string expected =
        "[MAIN]\nPAGE=0\nINDEV=0\nOUTDEV=0\nSPRACHE=D\nINCONAME=\nOUTCONAME=\nINCOAKT=FALSE\nOUTCOAKT=FALSE\n"
        "LEFT=200\nTOP=200\n\n"
        "[EICH]\nINPUT=497.0\nOUTPUT=123.0\nInLev4Cal=-1\n\n"
        "[VOLUME]\nFGVOLUME=20\nFGINVOLUME=100\nPEGFAK=8.7220\nPEGOFS=12.6000\nAUDIOINCHANNEL=0\n\n"
        "[FFT]\nWIN=8\nSAMPLES=1024\nAVERAGE=1\nCOMMENT=remark:\nDIAYMIN=-110\nDIAYMAX=0\nDBMODE=0\n"
        "DIAXMIN=10\nDIAXMAX=24000\n\n"
        "[WOB]\nFROM=20\nTO=22000\nSTEPS=50\nMETHODE=LOG\nPHASE=FALSE\nCOMMENT=remark:\nREFMESS=0\n"
        "DIAYMIN=-45\nDIAYMAX=5\nPMIN=-90\nPMAX=90\nPEGDIG=0.0\nSTARTMESS=100\n\n"
        "[OSZI]\nDIV1=10\nDIV2=10\nTB=5\nGND1=FALSE\nGND2=FALSE\nTRIPOS=TRUE\nTRICH1=TRUE\nyposCh1=0.000\n"
        "yposCh2=0.000\nSAMPLEF=44100\nOMESSW=1024\nWIDTH=260\nHEIGHT=-1\nLEFT=-1\nTOP=-1\n\n"
        "[DIAGRAMM]\nWIDTH=450\nHEIGHT=320\nLEFT=0\nTOP=0\n";
    EXPECT_EQ(testsupport::ReadFile(path), expected);
}

TEST(SettingsSave, RoundTripKeepsEveryWrittenKeyAndForeignSections)
{
    const std::string original =
        "[SDSOUND]\nSINWAVERAM2=16384\n"
        "[MAIN]\nPAGE=1\nINDEV=2\nOUTDEV=3\nSPRACHE=E\nINCONAME=/tmp/in.cor\nOUTCONAME=\nINCOAKT=TRUE\n"
        "OUTCOAKT=FALSE\nLEFT=17\nTOP=-4\n"
        "[EICH]\nINPUT=775.0\nOUTPUT=300.5\nInLev4Cal=80\n"
        "[VOLUME]\nFGVOLUME=33\nFGINVOLUME=77\nPEGFAK=8.6859\nPEGOFS=-3.2500\nAUDIOINCHANNEL=2\n"
        "[FFT]\nWIN=3\nSAMPLES=8192\nAVERAGE=16\nCOMMENT=amp test\nDIAYMIN=-140\nDIAYMAX=10\nDIAYSTEP=10\n"
        "DBMODE=2\nDIAXMIN=20\nDIAXMAX=20000\n"
        "[WOB]\nFROM=10\nTO=40000\nSTEPS=200\nMETHODE=LIN\nPHASE=TRUE\nCOMMENT=speaker\nREFMESS=2\n"
        "DIAYMIN=-60\nDIAYMAX=10\nPMIN=-180\nPMAX=180\nPEGDIG=-6.0\nSTARTMESS=300\n"
        "[OSZI]\nDIV1=3\nDIV2=14\nTB=9\nGND1=TRUE\nGND2=FALSE\nTRIPOS=FALSE\nTRICH1=FALSE\nyposCh1=1.250\n"
        "yposCh2=-2.500\nSAMPLEF=96000\nOMESSW=4096\nWIDTH=300\nHEIGHT=250\nLEFT=10\nTOP=20\n"
        "[DIAGRAMM]\nWIDTH=800\nHEIGHT=600\nLEFT=30\nTOP=40\n"
        "[GEN]\nFREQ=1000\n";
    std::string dir = testsupport::ScratchDir("roundtrip");
    std::string path = dir + "/sonmain.ini";
    testsupport::WriteFile(path, original);

    platform::IniFile in(path);
    ASSERT_TRUE(in.load());
    MeasurementState ms;
    MainWindowFields fields;
    Hooks hooks;
    LoadSettings(in, ms, fields, hooks);
    // the live windows report what was loaded
    hooks.scope = ms.ScopeGeometry;
    hooks.diagram = ms.DiagramGeometry;
    hooks.left = ms.MainLeft;
    hooks.top = ms.MainTop;

    platform::IniFile out(path);
    ASSERT_TRUE(out.load());
    SaveSettings(out, ms, fields, hooks);
    ASSERT_TRUE(out.save());
    EXPECT_EQ(testsupport::ReadFile(path), original);
}

TEST(SettingsSave, DiagramStepIsNeverWritten)
{
    std::string path = testsupport::ScratchDir("step") + "/sonmain.ini";
    platform::IniFile ini(path);
    ini.load();
    MeasurementState ms;
    ms.AnalyserRange.LevelStep = 10;
    MainWindowFields fields;
    Hooks hooks;
    SaveSettings(ini, ms, fields, hooks);
    EXPECT_FALSE(ini.has("FFT", "DIAYSTEP"));
}

TEST(SettingsSave, AFileFullOfInvalidValuesIsWrittenBackWithTheReplacements)
{
    std::string path = testsupport::ScratchDir("invalid") + "/sonmain.ini";
    testsupport::WriteFile(path,
                           "[MAIN]\nPAGE=x\nINDEV=-2\nOUTDEV=99\nSPRACHE=\n"
                           "[EICH]\nINPUT=abc\nOUTPUT=\nInLev4Cal=z\n"
                           "[VOLUME]\nFGVOLUME=loud\nFGINVOLUME=1e9\nPEGFAK=--\nPEGOFS=NaN\nAUDIOINCHANNEL=q\n"
                           "[FFT]\nWIN=w\nSAMPLES=s\nAVERAGE=a\nDIAYMIN=?\nDIAYMAX=?\nDBMODE=?\nDIAXMIN=?\nDIAXMAX=?\n"
                           "[WOB]\nFROM=f\nTO=t\nSTEPS=s\nPMIN=p\nPMAX=p\nPEGDIG=p\nSTARTMESS=s\nREFMESS=r\n"
                           "[OSZI]\nDIV1=d\nDIV2=d\nTB=t\nSAMPLEF=s\nOMESSW=o\nWIDTH=w\nHEIGHT=h\nLEFT=l\nTOP=t\n"
                           "[DIAGRAMM]\nWIDTH=w\nHEIGHT=h\nLEFT=l\nTOP=t\n");
    platform::IniFile in(path);
    ASSERT_TRUE(in.load());
    MeasurementState ms;
    MainWindowFields fields;
    Hooks hooks;
    LoadSettings(in, ms, fields, hooks);
    hooks.scope = ms.ScopeGeometry;
    hooks.diagram = ms.DiagramGeometry;
    hooks.left = ms.MainLeft;
    hooks.top = ms.MainTop;
    SaveSettings(in, ms, fields, hooks);
    ASSERT_TRUE(in.save());

    platform::IniFile back(path);
    ASSERT_TRUE(back.load());
    EXPECT_EQ(back.get("MAIN", "PAGE", ""), "0");
    EXPECT_EQ(back.get("MAIN", "INDEV", ""), "0");
    EXPECT_EQ(back.get("MAIN", "OUTDEV", ""), "0");
    EXPECT_EQ(back.get("EICH", "INPUT", ""), "497.0");
    EXPECT_EQ(back.get("EICH", "OUTPUT", ""), "123.0");
    EXPECT_EQ(back.get("EICH", "InLev4Cal", ""), "-1");
    EXPECT_EQ(back.get("VOLUME", "FGVOLUME", ""), "20");
    EXPECT_EQ(back.get("VOLUME", "FGINVOLUME", ""), "100");
    EXPECT_EQ(back.get("VOLUME", "PEGFAK", ""), "8.6859");
    EXPECT_EQ(back.get("VOLUME", "PEGOFS", ""), "12.6000");
    EXPECT_EQ(back.get("FFT", "WIN", ""), "8");
    EXPECT_EQ(back.get("FFT", "SAMPLES", ""), "1024");
    EXPECT_EQ(back.get("FFT", "AVERAGE", ""), "1");
    EXPECT_EQ(back.get("FFT", "DIAYMIN", ""), "-100");
    EXPECT_EQ(back.get("FFT", "DIAXMAX", ""), "24000");
    EXPECT_EQ(back.get("WOB", "FROM", ""), "20");
    EXPECT_EQ(back.get("WOB", "STARTMESS", ""), "100");
    EXPECT_EQ(back.get("WOB", "PEGDIG", ""), "0.0");
    EXPECT_EQ(back.get("OSZI", "DIV1", ""), "10");
    EXPECT_EQ(back.get("OSZI", "HEIGHT", ""), "-1");
    EXPECT_EQ(back.get("DIAGRAMM", "WIDTH", ""), "450");
    EXPECT_EQ(back.get("MAIN", "LEFT", ""), "200");
}
