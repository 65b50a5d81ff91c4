// The recording controller.
#include "recording_controller.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <filesystem>

#include "platform/system.h"

namespace {

// Skips leading blanks and a plus sign, as the C library's number readers do.
const char* numberStart(const std::string& text)
{
    const char* p = text.c_str();
    while (*p && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (*p == '+')
        ++p;
    return p;
}

// The leading whole number of a text ("60", " 90s"); 0 without digits, clamped to int.
long long leadingInteger(const std::string& text)
{
    const char* begin = numberStart(text);
    const char* end = text.c_str() + text.size();
    long long value = 0;
    auto [next, error] = std::from_chars(begin, end, value);
    if (error == std::errc::result_out_of_range)
        return *begin == '-' ? INT_MIN : INT_MAX;
    return next == begin ? 0 : value;
}

} // namespace

RecordingController::RecordingController(CRecorder& recorder, SettingsStore& store,
                                         FreeSpaceReader freeSpace)
    : recorder_(recorder), store_(store), freeSpace_(std::move(freeSpace)),
      watchedFolder_(store.readString(settings::TempFolder))
{
    if (!freeSpace_)
        freeSpace_ = [](const std::string& folder) { return platform::freeDiskBytes(folder); };
    deviceTimer_.setInterval(kDeviceCheckMs);
    QObject::connect(&deviceTimer_, &QTimer::timeout, this, [this] { checkDevice(); });
    deviceTimer_.start();
}

RecordingController::~RecordingController() = default;

int RecordingController::voxHoldBlocks(const std::string& toleranceText, double secondsPerBlock)
{
    // from_chars reads "1.0" alike in every locale, where atof would stop at the point under a
    // locale with a decimal comma.
    const char* begin = numberStart(toleranceText);
    const char* end = toleranceText.c_str() + toleranceText.size();
    double seconds = 0;
    auto [next, error] = std::from_chars(begin, end, seconds);
    if (next == begin || error != std::errc() || !std::isfinite(seconds) || seconds <= 0 ||
        secondsPerBlock <= 0)
        return 0;
    double blocks = seconds / secondsPerBlock;
    return blocks >= INT_MAX ? INT_MAX : static_cast<int>(blocks);
}

int RecordingController::holdForWindowCreation()
{
    int blocks =
        voxHoldBlocks(store_.readString(settings::VoxToleranceTime.name, "0.4"), kPageBlockSeconds);
    recorder_.SetVoxHold(blocks);
    return blocks;
}

int RecordingController::holdForVoxPage(const std::string& toleranceText)
{
    int blocks = voxHoldBlocks(toleranceText, kPageBlockSeconds);
    recorder_.SetVoxHold(blocks);
    return blocks;
}

RecordingController::DiskCheck RecordingController::checkDiskSpace() const
{
    std::optional<uint64_t> free = freeSpace_(watchedFolder_);
    if (!free)
        return {true, {}, false};
    if (*free >= kLowDiskBytes)
        return {};
    return {false, kLowDiskMessage};
}

RecordingController::RecordResult RecordingController::record()
{
    DiskCheck disk = checkDiskSpace();
    if (!disk.ok)
        return {RecordOutcome::LowDisk,
                recorder_.recording() ? disk.message : kLowDiskNotStartedMessage};
    if (recorder_.recording()) {
        recorder_.TogglePause();
        return {recorder_.paused() ? RecordOutcome::Paused : RecordOutcome::Resumed, {}};
    }
    recorder_.SetVoxHold(
        voxHoldBlocks(store_.readString(settings::VoxToleranceTime), kRecordingBlockSeconds));
    // Claimed, not read and written: another recorder may be starting at the same moment.
    recorder_.SetSessionNumber(store_.claimNext(settings::SessionNum.name, 0));
    recorder_.SetTimedSplit(timedSplitSeconds());
    if (!recorder_.StartRecording()) {
        std::string why = recorder_.lastError();
        return {RecordOutcome::Failed,
                "The recording could not start: " + (why.empty() ? "unknown reason" : why) + "."};
    }
    return {RecordOutcome::Started, {}};
}

RecordingController::StopResult RecordingController::stop()
{
    if (!recorder_.recording())
        return {};
    if (recorder_.paused())
        recorder_.TogglePause();
    recorder_.StopRecording();
    StopResult result;
    result.takePath = recorder_.temporaryPath();
    result.hundredths = recorder_.FileHundredths();
    if (store_.readInt(settings::nSettingFileCheckButtonSates) != 0) {
        // Failures of the move are reported by the part saver's WM_REC_FAILED; the take then
        // stays in the temporary folder.
        recorder_.AutoSave();
        recorder_.ReleaseTake();
        result.outcome = StopOutcome::AutoSaved;
        return result;
    }
    if (result.hundredths == 0) {
        std::error_code ignored;
        std::filesystem::remove(result.takePath, ignored);
        recorder_.ReleaseTake();
        result.outcome = StopOutcome::Discarded;
        return result;
    }
    result.outcome = StopOutcome::TakeHeld;
    return result;
}

void RecordingController::releaseTake()
{
    recorder_.ReleaseTake();
}

bool RecordingController::cutAndSave()
{
    if (!recorder_.recording() || store_.readInt(settings::nSettingFileCheckButtonSates) == 0)
        return false;
    recorder_.RequestSplit();
    return true;
}

int RecordingController::timedSplitSeconds() const
{
    if (store_.readInt(settings::nTimedTrackSplit) == 0)
        return 0;
    int mode = store_.readInt(settings::nSettingFileCheckButtonSates);
    if (mode != 1 && mode != 2)
        return 0;
    long long seconds = leadingInteger(store_.readString(settings::sTimedTrackSplit));
    return static_cast<int>(std::clamp(seconds, 1LL, static_cast<long long>(INT_MAX)));
}

bool RecordingController::onLevel()
{
    if (!recorder_.recording())
        return false;
    int seconds = timedSplitSeconds();
    recorder_.SetTimedSplit(seconds);
    return seconds > 0;
}

bool RecordingController::checkDevice()
{
    return recorder_.CheckDevice();
}

int RecordingController::partsBeingSaved() const
{
    return recorder_.partsBeingSaved();
}

std::string RecordingController::savingText() const
{
    int parts = partsBeingSaved();
    if (parts <= 0)
        return {};
    return parts == 1 ? "Saving the last recorded part..."
                      : "Saving " + std::to_string(parts) + " recorded parts...";
}
