#pragma once
// Every test class of the GUI test program registers itself here; main runs them all in one
// QApplication.

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace tarvu::test {

using GuiTestFactory = std::function<std::unique_ptr<QObject>()>;

inline std::vector<GuiTestFactory>& GuiTests() {
    static std::vector<GuiTestFactory> tests;
    return tests;
}

inline bool RegisterGuiTest(GuiTestFactory factory) {
    GuiTests().push_back(std::move(factory));
    return true;
}

}  // namespace tarvu::test

#define TARVU_GUI_TEST(Class)                                              \
    static const bool kRegistered##Class = ::tarvu::test::RegisterGuiTest( \
        []() -> std::unique_ptr<QObject> { return std::make_unique<Class>(); })
