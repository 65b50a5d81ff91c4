// The pages of the settings sheet, in tab order: the one list of pages. A page joins the sheet
// with one entry here: caption, dialog number, template size in dialog units, the number it
// writes to RecorderSetting when it becomes active, help topic and factory.
#include "setting_auto.h"
#include "setting_file.h"
#include "setting_page.h"
#include "setting_vox.h"
#include "setting_source.h"

namespace {

// clang-format off
const SettingPageInfo kPages[] = {
    {"Recording",       102, 202, 169, 0, "recording.htm>Help",     &createSettingPage<CSettingSource>},
    {"VOX",             128, 202, 156, 4, "VOX.htm>Help",           &createSettingPage<CSettingVOX>},
    {"Auto Start/Stop", 127, 198, 169, 5, "autostartstop.htm>Help", &createSettingPage<CSettingAuto>},
    {"Auto Save",       129, 208, 169, 6, "autosave.htm>Help",      &createSettingPage<CSettingFile>},
};
// clang-format on

} // namespace

std::span<const SettingPageInfo> settingPages()
{
    return kPages;
}
