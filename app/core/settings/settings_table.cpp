// The lists over the table of values.
#include "settings/settings_table.h"

#include <cstring>

namespace settings {

namespace {

constexpr const Value* kAll[] = {
    &TempFolder,
    &SaveFolder,
    &LastOpenSavedFolder,
    &sTempFileName,
    &AutoSavePrefix,
    &NumInst,
    &SessionNum,
    &Encode,
    &nWAVFormat,
    &nMP3Format,
    &nWMAFormat,
    &sWAVFormat,
    &sMP3Format,
    &sWMAFormat,
    &nFLACFormat,
    &nOpusFormat,
    &sFLACFormat,
    &sOpusFormat,
    &uMxId,
    &SourceList,
    &nCheckGangVol,
    &nVOXONOFF,
    &voxlevel,
    &VoxToleranceTime,
    &nVOXPreRoll,
    &nAutoStart,
    &nAutoStopTime,
    &nAutoStopTimeVOX,
    &nAutoStopVOX,
    &nAutoStartDatetime,
    &sAutoStartAt,
    &nAutoExit,
    &nSettingFileCheckButtonSates,
    &nTimedTrackSplit,
    &sTimedTrackSplit,
    &RecorderSetting,
    &bAlwaysOnTop,
    &XPos,
    &YPos,
    &nSettingChanged,
    &Channel,
    &SamplingRate,
    &Resolution,
    &nWAVChannel,
    &nWAVBits,
    &nWAVRates,
};

constexpr const Value* kInstallOrder[] = {
    &TempFolder,
    &SaveFolder,
    &LastOpenSavedFolder,
    &sTempFileName,
    &sWMAFormat,
    &VoxToleranceTime,
    &sTimedTrackSplit,
    &nTimedTrackSplit,
    &bAlwaysOnTop,
    &Channel,
    &Encode,
    &nAutoStart,
    &nSettingChanged,
    &nSettingFileCheckButtonSates,
    &nVOXONOFF,
    &nWAVChannel,
    &nWAVBits,
    &nWAVRates,
    &RecorderSetting,
    &Resolution,
    &SamplingRate,
    &SessionNum,
    &SourceList,
    &voxlevel,
    &XPos,
    &YPos,
};

} // namespace

std::span<const Value* const> allValues()
{
    return kAll;
}

std::span<const Value* const> installOrder()
{
    return kInstallOrder;
}

const Value* find(const std::string& name)
{
    for (const Value* value : kAll) {
        if (name == value->name)
            return value;
    }
    return nullptr;
}

std::string expandHome(const char* text, const std::string& home)
{
    if (!text)
        return {};
    if (std::strncmp(text, "$HOME", 5) == 0)
        return home + (text + 5);
    return text;
}

} // namespace settings
