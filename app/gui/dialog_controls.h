#pragma once
// Identifiers of the main dialog's controls. Each control's Qt object name is its identifier
// in decimal ("1040"); the labels, which have no identifier, are named "label" followed by the
// identifier of the control they label ("label1035"), the note beside the read port
// "note1046" and the group box around the send fields "groupSend".

#include <QString>

namespace tarvu::control {

constexpr int kOk = 1;
constexpr int kStatus0 = 1073;
constexpr int kAddressList = 1035;
constexpr int kStatus1 = 1074;
constexpr int kHiddenEdit = 1038;
constexpr int kHiddenCombo = 1039;
constexpr int kPacket = 1040;
constexpr int kSend = 1041;
constexpr int kTrace = 1042;
constexpr int kDestination = 2045;
constexpr int kClearTrace = 1044;
constexpr int kSubstitution = 1045;
constexpr int kReadPort = 1046;
constexpr int kSendPort = 1047;
constexpr int kSetPort = 1048;

inline QString Name(int id) {
    return QString::number(id);
}
inline QString LabelName(int id) {
    return QStringLiteral("label") + QString::number(id);
}

}  // namespace tarvu::control
