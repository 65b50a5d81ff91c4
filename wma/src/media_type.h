// Reading a media type with its format block from the runtime's properties.
#pragma once

#include <memory>
#include <string>

#include "wmvcore/wmvcore.h"

namespace brevon_wma {

// A media type in storage of its own; type() is null when it could not be read.
class MediaType {
public:
    wmv::HRESULT read(wmv::IWMMediaProps* props)
    {
        uint32_t size = 0;
        wmv::HRESULT hr = props->GetMediaType(nullptr, &size);
        if (wmv::failed(hr))
            return hr;
        storage_.assign(size + alignof(wmv::WM_MEDIA_TYPE), '\0');
        void* raw = storage_.data();
        size_t room = storage_.size();
        auto* type = static_cast<wmv::WM_MEDIA_TYPE*>(
            std::align(alignof(wmv::WM_MEDIA_TYPE), size, raw, room));
        hr = props->GetMediaType(type, &size);
        type_ = wmv::failed(hr) ? nullptr : type;
        return hr;
    }
    const wmv::WM_MEDIA_TYPE* type() const { return type_; }

private:
    std::string storage_;
    wmv::WM_MEDIA_TYPE* type_ = nullptr;
};

} // namespace brevon_wma
