// The resources compiled into tarvu.exe, read from the program file itself: dialog 102 control
// by control against the control table (dialog_table.h), the About box, the system-menu string, the
// icons and the accelerator table.

#include "tests/win32/dialog_table.h"
#include "tests/win32/dialog_template.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <windows.h>

namespace tarvu::testing {
namespace {

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ =
            ::LoadLibraryExW(std::filesystem::path(TARVU_WIN32_GUI_PATH).wstring().c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << TARVU_WIN32_GUI_PATH;
    }
    void TearDown() override {
        if (module_ != nullptr) {
            ::FreeLibrary(module_);
        }
    }
    std::optional<DialogTemplate> Dialog(int id) const {
        HRSRC found = ::FindResourceW(module_, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
        if (found == nullptr) {
            return std::nullopt;
        }
        HGLOBAL loaded = ::LoadResource(module_, found);
        return TemplateReader(::LockResource(loaded), ::SizeofResource(module_, found)).Read();
    }
    bool Has(LPCWSTR type, int id) const {
        return ::FindResourceW(module_, MAKEINTRESOURCEW(id), type) != nullptr;
    }

    HMODULE module_ = nullptr;
};

TEST_F(ProgramResources, Dialog102HoldsEveryControlOfTheTableInTabOrder) {
    const std::optional<DialogTemplate> dialog = Dialog(102);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->caption, L"Tarvu (Клиент для проверки подключения по GPRS)");
    EXPECT_EQ(dialog->units.right, kDialogWidthUnits);
    EXPECT_EQ(dialog->units.bottom, kDialogHeightUnits);
    EXPECT_EQ(dialog->font, L"MS Sans Serif");
    EXPECT_EQ(dialog->pointSize, 8);
    const DWORD frame = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    EXPECT_EQ(dialog->style & frame, frame);
    EXPECT_EQ(dialog->style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);

    const std::vector<ControlRow>& table = Dialog102();
    ASSERT_EQ(dialog->items.size(), table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        const ControlRow& row = table[i];
        const TemplateItem& item = dialog->items[i];
        SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(row.id));
        EXPECT_EQ(item.id & 0xFFFF, row.id);
        EXPECT_EQ(_wcsicmp(item.className.c_str(), row.className), 0);
        EXPECT_EQ(item.style & row.typeMask, row.type);
        EXPECT_EQ(item.style & row.required, row.required);
        EXPECT_EQ(item.style & row.forbidden, 0u);
        EXPECT_EQ(item.units.left, row.units.left);
        EXPECT_EQ(item.units.top, row.units.top);
        EXPECT_EQ(item.units.right, row.units.right);
        EXPECT_EQ(item.units.bottom, row.units.bottom);
        EXPECT_EQ((item.style & WS_VISIBLE) != 0, row.visible);
        EXPECT_EQ((item.style & WS_DISABLED) == 0, row.enabled);
        const bool fixedText = row.text != nullptr && _wcsicmp(row.className, L"Edit") != 0;
        if (fixedText) {
            EXPECT_EQ(item.text, row.text);
        }
    }
}

TEST_F(ProgramResources, AboutBoxStringIconsAndAccelerator) {
    const std::optional<DialogTemplate> about = Dialog(100);
    ASSERT_TRUE(about);
    EXPECT_EQ(about->caption, L"About Tarvu");
    EXPECT_EQ(about->units.right, 235);
    EXPECT_EQ(about->units.bottom, 55);
    EXPECT_EQ(about->font, L"MS Sans Serif");
    EXPECT_EQ(about->pointSize, 8);
    bool icon = false;
    bool ok = false;
    int lines = 0;
    for (const TemplateItem& item : about->items) {
        icon = icon || ((item.style & SS_TYPEMASK) == SS_ICON && item.titleOrdinal == 128);
        ok = ok || (item.id == IDOK && item.text == L"OK");
        // The copyright and licence lines sit inside the box, below the version line.
        if (item.id == 1001 || item.id == 1002) {
            ++lines;
            EXPECT_LE(item.units.left + item.units.right, 235) << item.id;
            EXPECT_LE(item.units.top + item.units.bottom, 55) << item.id;
            EXPECT_GE(item.units.top, 18) << item.id;
        }
    }
    EXPECT_TRUE(icon);
    EXPECT_TRUE(ok);
    EXPECT_EQ(lines, 2);

    wchar_t text[64] = {};
    ASSERT_GT(::LoadStringW(module_, 101, text, 64), 0);
    EXPECT_STREQ(text, L"&About Tarvu...");

    // Icon 128 and the two traffic frames of the notification-area icon.
    for (int id : {128, 129, 130}) {
        EXPECT_TRUE(Has(MAKEINTRESOURCEW(14), id)) << id;  // RT_GROUP_ICON
    }

    HACCEL table = ::LoadAcceleratorsW(module_, MAKEINTRESOURCEW(134));
    ASSERT_NE(table, nullptr);
    ACCEL entries[4] = {};
    ASSERT_EQ(::CopyAcceleratorTableW(table, entries, 4), 1);
    EXPECT_EQ(entries[0].key, VK_F6);
    EXPECT_EQ(entries[0].cmd, 32772);
    EXPECT_EQ(entries[0].fVirt & (FVIRTKEY | FSHIFT | FCONTROL | FALT), FVIRTKEY | FSHIFT);
    ::DestroyAcceleratorTable(table);
}

}  // namespace
}  // namespace tarvu::testing
