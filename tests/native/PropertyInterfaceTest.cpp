// The engine's editor interface: setters and getters, automation forwarding, capture
// gestures, whole-block application, A/B setups, undo and editor notifications.
#include <gtest/gtest.h>

#include <cstring>

#include "EngineTestSupport.h"

namespace qz::test {
namespace {

using Call = AutomationCall;

Call SetParamCall(DWORD index, float value) { return {Call::SetParam, index, value}; }
Call Begin(DWORD index) { return {Call::BeginCapture, index, 0.0f}; }
Call Changed(DWORD index, float value) { return {Call::Changed, index, value}; }
Call End(DWORD index) { return {Call::EndCapture, index, 0.0f}; }

class PropertyInterface : public ::testing::Test {
protected:
    void SetUp() override
    {
        ParamBlock defaults = DefaultParamBlock();
        engine.ApplyParamBlock(&defaults);
        engine.MarkSaved(engine.BlockForSaving());
        engine.PullAutomation();
        engine.automation().take();
    }

    LONG ratio(LONG band)
    {
        LONG value = -1;
        engine.GetRatio(&value, band);
        return value;
    }

    TestEngine engine;
};

TEST_F(PropertyInterface, SetterClampsStoresAndForwardsTheNormalizedValue)
{
    EXPECT_EQ(engine.SetRatio(2, 3, FALSE), S_OK);
    EXPECT_EQ(ratio(3), 4) << "ratio 2 is stored as the minimum 4";
    EXPECT_EQ(engine.automation().take(), (std::vector<Call>{SetParamCall(26, 0.0f)}));
    EXPECT_TRUE(engine.HasUnsavedChanges());

    LONG knee = -1;
    engine.SetKnee(-5, 0, FALSE);
    engine.GetKnee(&knee, 0);
    EXPECT_EQ(knee, 0);
    LONG release = -1;
    engine.SetRelease(0, 4, FALSE);
    engine.GetRelease(&release, 4);
    EXPECT_EQ(release, 1);
    LONG limiter = -1;
    engine.SetLimiter(7, FALSE);
    engine.GetLimiter(&limiter);
    EXPECT_EQ(limiter, 1) << "an on/off value of 2 or more is on";
    engine.SetLimiter(-1, FALSE);
    engine.GetLimiter(&limiter);
    EXPECT_EQ(limiter, 0) << "a negative on/off value is off";
}

TEST_F(PropertyInterface, SettingTheStoredValueStillForwardsButChangesNoFlag)
{
    engine.SetThreshold(0, 1, FALSE);
    EXPECT_EQ(engine.automation().take(), (std::vector<Call>{SetParamCall(19, 1.0f)}));
    EXPECT_FALSE(engine.HasUnsavedChanges());
    EXPECT_FALSE(engine.PullAutomation()) << "nothing to recompute";

    engine.SetThreshold(-200, 1, FALSE);
    EXPECT_TRUE(engine.HasUnsavedChanges());
    EXPECT_TRUE(engine.PullAutomation());
    EXPECT_EQ(engine.QueryChanged(), S_OK) << "the editor learns of the change";
}

TEST_F(PropertyInterface, UnknownBandOrCrossoverIsIgnoredWithSuccess)
{
    const ParamBlock before = *engine.GetParamBlockPtr();
    EXPECT_EQ(engine.SetRatio(40, 5, TRUE), S_OK);
    EXPECT_EQ(engine.SetGain(40, -1, TRUE), S_OK);
    EXPECT_EQ(engine.SetFreq(100, 4, TRUE), S_OK);
    EXPECT_EQ(*engine.GetParamBlockPtr(), before);
    EXPECT_TRUE(engine.automation().take().empty());
    EXPECT_FALSE(engine.HasUnsavedChanges());

    LONG value = 99;
    EXPECT_EQ(engine.GetRatio(&value, 5), S_OK);
    EXPECT_EQ(value, 0);
    value = 99;
    EXPECT_EQ(engine.GetFreq(&value, 4), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(engine.GetRatio(nullptr, 0), E_POINTER);
}

TEST_F(PropertyInterface, SpareFieldsAreClampedButNeverAutomated)
{
    engine.SetSpare1(5000, TRUE);
    engine.SetSpare2(-4, TRUE);
    LONG spare1 = 0, spare2 = 9;
    engine.GetSpare1(&spare1);
    engine.GetSpare2(&spare2);
    EXPECT_EQ(spare1, 4096);
    EXPECT_EQ(spare2, 0);
    EXPECT_TRUE(engine.automation().take().empty());
}

TEST_F(PropertyInterface, DraggingOneControlIsOneCaptureGesture)
{
    engine.SetGain(60, 2, TRUE);
    engine.SetGain(90, 2, TRUE);
    engine.EndCapture();
    const float g60 = ToNormalized(35, 60), g90 = ToNormalized(35, 90);
    EXPECT_EQ(engine.automation().take(),
              (std::vector<Call>{SetParamCall(35, g60), Begin(35), Changed(35, g60), SetParamCall(35, g90),
                                 Changed(35, g90), End(35)}));
    engine.EndCapture();
    EXPECT_TRUE(engine.automation().take().empty()) << "a second end finds nothing captured";
}

TEST_F(PropertyInterface, MovingAnotherControlEndsTheFirstCapture)
{
    engine.SetGain(60, 2, TRUE);
    engine.SetTCR(1, TRUE);
    const float g60 = ToNormalized(35, 60);
    EXPECT_EQ(engine.automation().take(), (std::vector<Call>{SetParamCall(35, g60), Begin(35), Changed(35, g60),
                                                             SetParamCall(3, 1.0f), End(35), Begin(3),
                                                             Changed(3, 1.0f)}));
}

TEST_F(PropertyInterface, HoldFlagKeepsTheCaptureOpenUntilReleased)
{
    engine.SetCaptureMode(TRUE, FALSE);
    engine.SetTCR(1, TRUE);
    engine.EndCapture();
    EXPECT_EQ(engine.automation().take(),
              (std::vector<Call>{SetParamCall(3, 1.0f), Begin(3), Changed(3, 1.0f)}));
    engine.SetCaptureMode(FALSE, FALSE);
    engine.EndCapture();
    EXPECT_EQ(engine.automation().take(), (std::vector<Call>{End(3)}));
}

TEST_F(PropertyInterface, MultiCaptureBeginsEachParameterOnceAndHasEightPlaces)
{
    engine.SetCaptureMode(FALSE, TRUE);
    for (int round = 0; round < 2; ++round)
        for (LONG band = 0; band < kBandCount; ++band)
            engine.SetThreshold(-10 * (round + 1), band, TRUE);
    for (LONG band = 0; band < kBandCount; ++band)
        engine.SetGain(10, band, TRUE);  // three of these find a place, two do not
    std::vector<Call> calls = engine.automation().take();
    std::vector<DWORD> begun;
    int changedGain5 = 0;
    for (const Call& c : calls) {
        if (c.kind == Call::BeginCapture)
            begun.push_back(c.index);
        if (c.kind == Call::Changed && c.index == 37)
            ++changedGain5;
    }
    EXPECT_EQ(begun, (std::vector<DWORD>{18, 19, 20, 21, 22, 33, 34, 35}));
    EXPECT_EQ(changedGain5, 0) << "a parameter beyond the eighth is not reported as captured";
    LONG gain5 = 0;
    engine.GetGain(&gain5, 4);
    EXPECT_EQ(gain5, 10) << "its value is still set";

    engine.EndCapture();
    EXPECT_TRUE(engine.automation().take().empty()) << "multi-capture ends only when the mode is left";
    engine.SetCaptureMode(FALSE, FALSE);
    engine.EndCapture();
    calls = engine.automation().take();
    ASSERT_EQ(calls.size(), 8u);
    for (size_t k = 0; k < calls.size(); ++k)
        EXPECT_EQ(calls[k], End(begun[k])) << "end " << k;
}

TEST_F(PropertyInterface, ApplyingABlockSetsEveryParameterInOrderAndKeepsTheSpares)
{
    ParamBlock block = DefaultParamBlock();
    block.Ratio[2] = 40;
    block.Threshold[2] = -700;  // out of range: clamped
    block.Spare1 = 77;
    block.Spare2 = 1;
    engine.SetSpare1(5, FALSE);
    EXPECT_EQ(engine.ApplyParamBlock(&block), S_OK);

    ParamBlock now{};
    engine.GetParamBlock(&now);
    EXPECT_EQ(now.Ratio[2], 40);
    EXPECT_EQ(now.Threshold[2], -600);
    EXPECT_EQ(now.Spare1, 5) << "a whole-block apply leaves the spares";
    EXPECT_EQ(now.Spare2, 0);
    EXPECT_TRUE(engine.HasUnsavedChanges());

    std::vector<DWORD> order;
    for (const Call& c : engine.automation().take())
        if (c.kind == Call::SetParam)
            order.push_back(c.index);
    std::vector<DWORD> expected = {0, 1, 2, 3};
    for (DWORD b = 0; b < kBandCount; ++b) {
        for (DWORD first : {38u, 43u, 23u, 18u, 33u, 28u, 48u, 8u, 13u})
            expected.push_back(first + b);
        if (b < kCrossoverCount)
            expected.push_back(4 + b);
    }
    EXPECT_EQ(order, expected);
    EXPECT_EQ(engine.ApplyParamBlock(nullptr), E_POINTER);
}

TEST_F(PropertyInterface, ApplyingABlockLeavesNoCaptureOpen)
{
    ParamBlock block = DefaultParamBlock();
    engine.ApplyParamBlock(&block);
    int begins = 0, ends = 0;
    for (const Call& c : engine.automation().take()) {
        begins += c.kind == Call::BeginCapture;
        ends += c.kind == Call::EndCapture;
    }
    EXPECT_EQ(begins, kParamCount);
    EXPECT_EQ(ends, kParamCount);
}

TEST_F(PropertyInterface, UndoTwiceReturnsToTheStateBeforeTheFirstUndo)
{
    engine.UndoCheckpoint(-2);
    engine.SetRatio(40, 0, TRUE);
    engine.EndCapture();
    engine.Undo();
    EXPECT_EQ(ratio(0), 10);
    engine.Undo();
    EXPECT_EQ(ratio(0), 40);
    engine.Undo();
    EXPECT_EQ(ratio(0), 10);
    EXPECT_TRUE(engine.PullAutomation());
}

TEST_F(PropertyInterface, UndoCarriesTheSpareFieldsWithTheBlock)
{
    engine.SetSpare1(11, FALSE);
    engine.UndoCheckpoint(-2);
    engine.SetSpare1(22, FALSE);
    engine.Undo();
    LONG spare = 0;
    engine.GetSpare1(&spare);
    EXPECT_EQ(spare, 11);
    engine.Undo();
    engine.GetSpare1(&spare);
    EXPECT_EQ(spare, 22);
}

TEST_F(PropertyInterface, OneDragOfOneControlKeepsItsFirstCheckpoint)
{
    const LONG control = 1042;
    engine.UndoCheckpoint(control);
    engine.SetGain(10, 0, TRUE);  // the capture is now in progress
    engine.UndoCheckpoint(control);
    engine.SetGain(20, 0, TRUE);
    engine.UndoCheckpoint(control);
    engine.SetGain(30, 0, TRUE);
    engine.EndCapture();
    engine.Undo();
    LONG gain = -1;
    engine.GetGain(&gain, 0);
    EXPECT_EQ(gain, 0) << "undo returns to before the drag";

    // -2 forces a checkpoint even during a capture.
    engine.SetGain(50, 0, TRUE);
    engine.UndoCheckpoint(-2);
    engine.SetGain(60, 0, TRUE);
    engine.Undo();
    engine.GetGain(&gain, 0);
    EXPECT_EQ(gain, 50);
}

TEST_F(PropertyInterface, SelectingASetupSwapsTheTwoBlocks)
{
    engine.CopySetup(0, 1);
    engine.SetRatio(40, 1, FALSE);  // setup A now differs
    engine.automation().take();

    EXPECT_EQ(engine.SelectSetup(1), S_OK);
    LONG setup = -1;
    engine.GetSetup(&setup);
    EXPECT_EQ(setup, 1);
    EXPECT_EQ(ratio(1), 10) << "B is the copy taken before the change";
    EXPECT_FALSE(engine.automation().take().empty()) << "the new block is pushed to automation";

    EXPECT_EQ(engine.SelectSetup(0), S_OK);
    EXPECT_EQ(ratio(1), 40) << "back to A";

    engine.automation().take();
    EXPECT_EQ(engine.SelectSetup(0), S_OK);
    EXPECT_TRUE(engine.automation().take().empty()) << "selecting the current setup does nothing";
    EXPECT_EQ(engine.SelectSetup(2), E_INVALIDARG);
}

TEST_F(PropertyInterface, CopyingTheOtherSetupInAppliesIt)
{
    engine.CopySetup(0, 1);
    engine.SetRatio(40, 1, FALSE);
    engine.SetSpare1(9, FALSE);
    engine.CopySetup(1, 0);
    EXPECT_EQ(ratio(1), 10);
    LONG spare = -1;
    engine.GetSpare1(&spare);
    EXPECT_EQ(spare, 0) << "the copied block brings its spares";

    const ParamBlock before = *engine.GetParamBlockPtr();
    engine.CopySetup(1, 1);
    engine.CopySetup(0, 0);
    engine.CopySetup(3, 0);
    EXPECT_EQ(*engine.GetParamBlockPtr(), before);
}

TEST_F(PropertyInterface, OnlyTheFirstSeedOfTheOtherSetupCopies)
{
    engine.SetRatio(40, 1, FALSE);
    EXPECT_EQ(engine.SeedOtherSetup(), S_OK) << "the editor's first opening";
    engine.SetRatio(70, 1, FALSE);
    engine.CopySetup(0, 1);                     // the user's own copy: B ratio 70
    engine.SetRatio(20, 1, FALSE);
    EXPECT_EQ(engine.SeedOtherSetup(), S_FALSE) << "a later opening";
    engine.SelectSetup(1);
    EXPECT_EQ(ratio(1), 70) << "the user's other setup survives a later opening";
}

TEST_F(PropertyInterface, HostChangesReachTheEditorThroughQueryChanged)
{
    engine.automation().changed = false;
    engine.SetChanged(FALSE);
    EXPECT_EQ(engine.QueryChanged(), S_FALSE);
    engine.automation().MarkChanged();
    EXPECT_EQ(engine.QueryChanged(), S_OK);
    EXPECT_EQ(engine.QueryChanged(), S_OK) << "the flag stays until the editor clears it";
    engine.SetChanged(FALSE);
    EXPECT_EQ(engine.QueryChanged(), S_FALSE);
}

TEST_F(PropertyInterface, IndicatorsKeepTwoChannelsOfThree)
{
    engine.SetOverIndicator(3, 0);
    engine.SetIndicator2(5, 1);
    engine.SetIndicator3(6, 7);  // any channel but 0 is channel 1
    LONG over = 0, second = 0, third = 0, other = -1;
    engine.GetOverIndicator(&over, 0);
    engine.GetIndicator2(&second, 9);
    engine.GetIndicator3(&third, 1);
    engine.GetOverIndicator(&other, 1);
    EXPECT_EQ(over, 3);
    EXPECT_EQ(second, 5);
    EXPECT_EQ(third, 6);
    EXPECT_EQ(other, 0);
}

TEST_F(PropertyInterface, FlagsAndTheEditorValue)
{
    LONG editorValue = 0;
    engine.GetEditorValue(&editorValue);
    EXPECT_EQ(editorValue, -1);
    engine.SetEditorValue(12);
    engine.GetEditorValue(&editorValue);
    EXPECT_EQ(editorValue, 12);

    BOOL flag = TRUE;
    engine.GetStreaming(&flag);
    EXPECT_EQ(flag, FALSE);
    engine.SetStreaming(TRUE);
    engine.GetStreaming(&flag);
    EXPECT_EQ(flag, TRUE);
    engine.GetEffectBypass(&flag);
    EXPECT_EQ(flag, FALSE);
    engine.SetRunning(TRUE);
    engine.GetRunning(&flag);
    EXPECT_EQ(flag, TRUE);
}

TEST(EngineWithoutAutomation, SettersOnlyStoreAndCaptureDoesNothing)
{
    TestEngine engine(false);
    EXPECT_EQ(engine.Automation(), nullptr);
    ParamBlock defaults = DefaultParamBlock();
    EXPECT_EQ(engine.ApplyParamBlock(&defaults), S_OK);
    EXPECT_EQ(engine.SetRatio(40, 2, TRUE), S_OK);
    EXPECT_EQ(engine.EndCapture(), S_OK);
    EXPECT_EQ(engine.UndoCheckpoint(5), S_OK);
    LONG value = 0;
    engine.GetRatio(&value, 2);
    EXPECT_EQ(value, 40);
    EXPECT_TRUE(engine.PullAutomation());
    EXPECT_EQ(engine.QueryChanged(), S_OK);
}

TEST(EngineWithoutAutomation, EarlierCreationFailureMeansNoAutomationObject)
{
    HRESULT result = E_OUTOFMEMORY;
    TestEngine engine(true, &result);
    EXPECT_EQ(engine.Automation(), nullptr);
    EXPECT_EQ(result, E_OUTOFMEMORY);
}

TEST(EngineFormat, FormatIsUnknownUntilAStreamIsConnected)
{
    TestEngine engine;
    WAVEFORMATEX format{};
    EXPECT_EQ(engine.GetFormat(&format), VFW_E_NOT_CONNECTED);
    const WAVEFORMATEX stereo = MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 32, 2, 48000);
    engine.SetFormat(stereo);
    EXPECT_EQ(engine.GetFormat(&format), S_OK);
    EXPECT_EQ(std::memcmp(&format, &stereo, sizeof format), 0);
    EXPECT_EQ(engine.GetFormat(nullptr), E_POINTER);
}

TEST(EditorNotification, TwoWindowsAtMostAndEachGetsItsCommand)
{
    TestEngine engine;
    TestWindow first, second, third;
    EXPECT_EQ(engine.SetNotifyWindow(first.handle(), 32700), S_OK);
    EXPECT_EQ(engine.SetNotifyWindow(second.handle(), 32701), S_OK);
    EXPECT_EQ(engine.SetNotifyWindow(third.handle(), 32702), E_OUTOFMEMORY);
    EXPECT_EQ(engine.SetNotifyWindow(third.handle(), 0), S_OK) << "unregistering an unknown window";

    engine.NotifyEditorWindows(kNotifyBlockLoaded);
    EXPECT_EQ(first.takeCommands(), (std::vector<WPARAM>{MAKEWPARAM(32700, 100)}));
    EXPECT_EQ(second.takeCommands(), (std::vector<WPARAM>{MAKEWPARAM(32701, 100)}));
    EXPECT_TRUE(third.takeCommands().empty());

    // Registering a window again updates its id instead of taking another entry.
    EXPECT_EQ(engine.SetNotifyWindow(first.handle(), 32705), S_OK);
    engine.NotifyEditorWindows(kNotifyOutputTypeSet);
    EXPECT_EQ(first.takeCommands(), (std::vector<WPARAM>{MAKEWPARAM(32705, 1)}));
    EXPECT_EQ(second.takeCommands(), (std::vector<WPARAM>{MAKEWPARAM(32701, 1)}));

    // Unregistering frees the entry for another window.
    EXPECT_EQ(engine.SetNotifyWindow(second.handle(), 0), S_OK);
    EXPECT_EQ(engine.SetNotifyWindow(third.handle(), 32702), S_OK);
    engine.NotifyEditorWindows(kNotifyInputTypeSet);
    EXPECT_TRUE(second.takeCommands().empty());
    EXPECT_EQ(third.takeCommands(), (std::vector<WPARAM>{MAKEWPARAM(32702, 0)}));
}

TEST(EditorNotification, DestroyedWindowIsDroppedAndItsEntryReused)
{
    TestEngine engine;
    TestWindow first, second, third;
    engine.SetNotifyWindow(first.handle(), 32700);
    engine.SetNotifyWindow(second.handle(), 32701);
    first.destroy();
    engine.NotifyEditorWindows(kNotifyBlockLoaded);
    EXPECT_EQ(second.takeCommands(), (std::vector<WPARAM>{MAKEWPARAM(32701, 100)}));
    EXPECT_EQ(engine.SetNotifyWindow(third.handle(), 32702), S_OK) << "the dropped entry is free again";
    engine.NotifyEditorWindows(kNotifyBlockLoaded);
    EXPECT_EQ(third.takeCommands(), (std::vector<WPARAM>{MAKEWPARAM(32702, 100)}));
}

} // namespace
} // namespace qz::test
