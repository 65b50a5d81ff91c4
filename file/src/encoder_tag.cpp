// The encoder tag's texts.
#include "encoder_tag.h"

namespace file {

std::string encoderName()
{
    return "Dravik " DRAVIK_VERSION;
}

std::string tagDate(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

} // namespace file
