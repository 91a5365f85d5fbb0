#include "Resources.h"

#include "ModuleFile.h"
#include "ModuleImage.h"
#include "StagedFileWriter.h"
#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <optional>

namespace {

bool isNumber(const wchar_t* identifier) { return IS_INTRESOURCE(identifier); }

// A number stays a number; a name points at our own copy of it.
const wchar_t* ownIdentifier(const wchar_t* identifier, const tstring& text) {
    return isNumber(identifier) ? identifier : text.c_str();
}

} // namespace

tstring resourceIdentifierText(const wchar_t* identifier) {
    if (isNumber(identifier)) {
        return (tstrings::TextBuilder(L"#") << reinterpret_cast<uintptr_t>(identifier)).str();
    }
    return identifier;
}

Resource::Resource(const wchar_t* name, const wchar_t* type, HINSTANCE__* module)
    : nameText_(resourceIdentifierText(name)), name_(ownIdentifier(name, nameText_)),
      typeText_(resourceIdentifierText(type)), type_(ownIdentifier(type, typeText_)), module_(module) {}

Resource::Resource(uint16_t number, const wchar_t* type, HINSTANCE__* module)
    : Resource(MAKEINTRESOURCEW(number), type, module) {}

const wchar_t* Resource::findName() const {
    // Strings live in blocks of 16, numbered from 1.
    if (type_ == RT_STRING) {
        return MAKEINTRESOURCEW(reinterpret_cast<uintptr_t>(name_) / 16 + 1);
    }
    return name_;
}

bool Resource::available() const {
    return ::FindResourceW(module_, findName(), type_) != nullptr;
}

Resource::Data Resource::locate() const {
    const HRSRC found = ::FindResourceW(module_, findName(), type_);
    if (!found) {
        VK_THROW_LAST_ERROR(::FindResourceW, "cannot find resource (name='"
                                                 << nameText_ << "', type='" << typeText_ << "')");
    }
    const HGLOBAL loaded = ::LoadResource(module_, found);
    if (!loaded) {
        VK_THROW_LAST_ERROR(::LoadResource, "cannot load resource (name='"
                                                << nameText_ << "', type='" << typeText_ << "')");
    }
    const void* locked = ::LockResource(loaded);
    if (!locked) {
        VK_THROW_LAST_ERROR(::LockResource, "cannot lock resource (name='"
                                                << nameText_ << "', type='" << typeText_ << "')");
    }
    return Data{locked, ::SizeofResource(module_, found)};
}

bool Resource::damaged() const {
    if (!available()) {
        return false;
    }
    const Data data = locate();
    return ModuleImage::sectionHolding(module_, data.pointer, data.size) == nullptr;
}

Resource::Data Resource::getPtr() const {
    const Data data = locate();
    if (!ModuleImage::sectionHolding(module_, data.pointer, data.size)) {
        VK_THROW_MSG("resource (name='" << nameText_ << "', type='" << typeText_
                                        << "') is damaged: it claims " << data.size
                                        << " bytes, more than the file holds");
    }
    if (type_ != RT_STRING) {
        return data;
    }
    // Each string of a block is a count of code units and that many units.
    const uint16_t* entry = static_cast<const uint16_t*>(data.pointer);
    for (uintptr_t skip = reinterpret_cast<uintptr_t>(name_) % 16; skip > 0; --skip) {
        entry += *entry + 1;
    }
    return Data{entry + 1, static_cast<size_t>(*entry) * 2};
}

uint32_t Resource::size() const { return static_cast<uint32_t>(getPtr().size); }

const void* Resource::rawData() const { return getPtr().pointer; }

std::vector<uint8_t> Resource::bytes() const {
    const Data data = getPtr();
    const uint8_t* first = static_cast<const uint8_t*>(data.pointer);
    return std::vector<uint8_t>(first, first + data.size);
}

void Resource::writeToFile(const tstring& destination) const {
    const Data data = getPtr();
    StagedFileWriter writer(destination);
    if (const std::optional<ModuleFile> file = ModuleFile::open(module_)) {
        file->copyTo(writer, data.pointer, data.size);
    } else {
        writer.write(data.pointer, data.size);
    }
    writer.finish();
}

StringResource::StringResource(uint16_t number, HINSTANCE__* module)
    : Resource(number, RT_STRING, module) {}

tstring StringResource::string() const {
    const Data data = getPtr();
    return tstring(static_cast<const wchar_t*>(data.pointer), data.size / 2);
}

tstring StringResource::string(const std::nothrow_t&, const tstring& defaultValue) const {
    try {
        return string();
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
    return defaultValue;
}
