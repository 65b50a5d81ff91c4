// The profile manager reads profile documents and refuses what is not one.
#include <gtest/gtest.h>

#include <string>

#include "wmvcore/wmvcore.h"

using namespace wmv;

namespace {

std::u16string utf16(const std::string& text)
{
    std::u16string out(1, u'\xFEFF');
    for (char c : text)
        out += static_cast<char16_t>(static_cast<unsigned char>(c));
    return out;
}

std::string document(const std::string& stream, const std::string& wave)
{
    return "<profile version=\"589824\" storageformat=\"1\" name=\"128\" description=\"\">\r\n"
           "<streamconfig majortype=\"{73647561-0000-0010-8000-00AA00389B71}\" "
           "streamnumber=\"1\" " +
           stream +
           ">\r\n<wmmediatype subtype=\"{00000161-0000-0010-8000-00AA00389B71}\" "
           "bfixedsizesamples=\"1\" btemporalcompression=\"0\" lsamplesize=\"5945\">\r\n"
           "<waveformatex " +
           wave + "/>\r\n</wmmediatype>\r\n</streamconfig>\r\n</profile>\r\n";
}

const std::string kStream = "bitrate=\"128016\" bufferwindow=\"-1\"";
const std::string kWave = "wFormatTag=\"353\" nChannels=\"2\" nSamplesPerSec=\"44100\" "
                          "nAvgBytesPerSec=\"16002\" nBlockAlign=\"5945\" wBitsPerSample=\"16\" "
                          "codecdata=\"008800000F00E55C0000\"";

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    return text.replace(text.find(from), from.size(), to);
}

class ProfileManagerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(WMCreateProfileManager(&manager), S_OK); }
    void TearDown() override { manager->Release(); }

    HRESULT load(const std::string& text, IWMProfile** profile)
    {
        const std::u16string wide = utf16(text);
        return manager->LoadProfileByData(wide.c_str(), profile);
    }

    IWMProfileManager* manager = nullptr;
};

TEST_F(ProfileManagerTest, ReadsNameAndBitrateOfAWellFormedDocument)
{
    IWMProfile* profile = nullptr;
    ASSERT_EQ(load(document(kStream, kWave), &profile), S_OK);
    uint32_t count = 0, bitrate = 0;
    EXPECT_EQ(profile->GetStreamCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(profile->GetStreamBitrate(0, &bitrate), S_OK);
    EXPECT_EQ(bitrate, 128016u);
    EXPECT_EQ(profile->GetStreamBitrate(1, &bitrate), E_INVALIDARG);
    uint32_t length = 0;
    ASSERT_EQ(profile->GetName(nullptr, &length), S_OK);
    std::string name(length, '\0');
    ASSERT_EQ(profile->GetName(name.data(), &length), S_OK);
    EXPECT_STREQ(name.c_str(), "128");
    profile->Release();
}

TEST_F(ProfileManagerTest, RefusesDocumentsThatAreNotAudioProfiles)
{
    const std::string bad[] = {
        "",
        "not a profile at all",
        document(kStream, "wFormatTag=\"353\" nChannels=\"2\""),              // fields missing
        document("bitrate=\"fast\"", kWave),                                  // not a number
        replaced(document(kStream, kWave), "008800000F00E55C0000", "0088ZZ"), // bad hex
        replaced(document(kStream, kWave), "73647561", "73646976"),           // video
        document(kStream, "wFormatTag=\"353\" nChannels=\"0\" nSamplesPerSec=\"44100\" "
                          "nAvgBytesPerSec=\"1\" nBlockAlign=\"1\" wBitsPerSample=\"16\""),
        // a rate whose PCM byte rate overflows 32 bits
        document(kStream, "wFormatTag=\"353\" nChannels=\"2\" nSamplesPerSec=\"2000000000\" "
                          "nAvgBytesPerSec=\"1\" nBlockAlign=\"1\" wBitsPerSample=\"16\""),
        document(kStream, kWave).substr(0, 200), // cut short
    };
    for (const std::string& text : bad) {
        IWMProfile* profile = reinterpret_cast<IWMProfile*>(1);
        EXPECT_EQ(load(text, &profile), NS_E_INVALID_DATA) << text;
        EXPECT_EQ(profile, nullptr);
    }
    IWMProfile* profile = nullptr;
    EXPECT_EQ(manager->LoadProfileByData(nullptr, &profile), E_INVALIDARG);
    EXPECT_EQ(manager->LoadProfileByData(u"x", nullptr), E_POINTER);
}

} // namespace
