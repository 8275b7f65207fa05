#pragma once
#include <QJsonObject>
#include <QString>

namespace tallyhive {

// What the end-to-end tests and the speed script watch: with TALLYHIVE_E2E_LOG set to a file, the
// program appends one JSON object per line for each page arrival and paint, message box, answer and
// URL handed to the user's browser, stamped with wall-clock milliseconds. Without it nothing is
// written: the program keeps no log of its own.
class TestLog {
public:
    static bool Enabled();
    static void Write(const QString& event, QJsonObject fields = {});
};

}  // namespace tallyhive
