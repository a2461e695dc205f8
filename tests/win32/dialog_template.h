#pragma once
// Reads a compiled DIALOGEX template (DLGTEMPLATEEX and its items) into plain records, so
// that a test can hold the resources of tarvu.exe against the control table.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

namespace tarvu::testing {

struct TemplateItem {
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT units = {};  // x, y, width, height
    int id = 0;
    std::wstring className;
    std::wstring text;
    int titleOrdinal = -1;  // a title given as a resource number (an icon's), else -1
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT units = {};
    std::wstring caption;
    int pointSize = 0;
    int charset = 0;
    std::wstring font;
    std::vector<TemplateItem> items;
};

class TemplateReader {
public:
    TemplateReader(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(size) {}

    std::optional<DialogTemplate> Read() {
        DialogTemplate dialog;
        if (Word() != 1 || Word() != 0xFFFF) {
            return std::nullopt;  // not a DIALOGEX template
        }
        Dword();  // help id
        dialog.exStyle = Dword();
        dialog.style = Dword();
        const int count = Word();
        dialog.units = Rect();
        NameOrOrdinal();  // menu
        NameOrOrdinal();  // class
        dialog.caption = String();
        if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
            dialog.pointSize = Word();
            Word();  // weight
            Byte();  // italic
            dialog.charset = Byte();
            dialog.font = String();
        }
        for (int i = 0; i < count && ok_; ++i) {
            Align(4);
            TemplateItem item;
            Dword();  // help id
            item.exStyle = Dword();
            item.style = Dword();
            item.units = Rect();
            item.id = static_cast<int>(Dword());
            int ordinal = -1;
            item.className = NameOrOrdinal(&ordinal);
            if (ordinal >= 0) {
                item.className = ClassOfAtom(ordinal);
            }
            item.text = NameOrOrdinal(&item.titleOrdinal);
            const size_t extra = Word();
            position_ += extra;
            dialog.items.push_back(item);
        }
        if (!ok_) {
            return std::nullopt;
        }
        return dialog;
    }

private:
    static std::wstring ClassOfAtom(int atom) {
        switch (atom) {
            case 0x80:
                return L"Button";
            case 0x81:
                return L"Edit";
            case 0x82:
                return L"Static";
            case 0x83:
                return L"ListBox";
            case 0x84:
                return L"ScrollBar";
            case 0x85:
                return L"ComboBox";
            default:
                return L"#" + std::to_wstring(atom);
        }
    }
    bool Have(size_t n) {
        ok_ = ok_ && position_ + n <= size_;
        return ok_;
    }
    uint8_t Byte() { return Have(1) ? data_[position_++] : 0; }
    uint16_t Word() {
        uint16_t value = 0;
        if (Have(2)) {
            std::memcpy(&value, data_ + position_, 2);
            position_ += 2;
        }
        return value;
    }
    uint32_t Dword() {
        uint32_t value = 0;
        if (Have(4)) {
            std::memcpy(&value, data_ + position_, 4);
            position_ += 4;
        }
        return value;
    }
    RECT Rect() {
        RECT rect;
        rect.left = static_cast<int16_t>(Word());
        rect.top = static_cast<int16_t>(Word());
        rect.right = static_cast<int16_t>(Word());
        rect.bottom = static_cast<int16_t>(Word());
        return rect;
    }
    std::wstring String() {
        std::wstring text;
        for (uint16_t c = Word(); ok_ && c != 0; c = Word()) {
            text += static_cast<wchar_t>(c);
        }
        return text;
    }
    std::wstring NameOrOrdinal(int* ordinal = nullptr) {
        uint16_t first = 0;
        if (Have(2)) {
            std::memcpy(&first, data_ + position_, 2);
        }
        if (first == 0xFFFF) {
            position_ += 2;
            const int value = Word();
            if (ordinal != nullptr) {
                *ordinal = value;
            }
            return {};
        }
        return String();
    }
    void Align(size_t to) { position_ = (position_ + to - 1) / to * to; }

    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    bool ok_ = true;
};

}  // namespace tarvu::testing
