#pragma once
// Types text key by key into whichever widget has the focus at each key, as a user does;
// QTest::keyClicks would send every key to the widget that had the focus at the start.

#include <QApplication>
#include <QtTest>

namespace tarvu::test {

inline void Type(const char* text) {
    for (const char* key = text; *key != '\0'; ++key) {
        QTest::keyClick(QApplication::focusWidget(), *key);
    }
}

}  // namespace tarvu::test
