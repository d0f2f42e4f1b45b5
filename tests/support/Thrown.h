#pragma once

#include <QString>
#include <functional>

// The message of the exception an action throws; a null string when it throws none. Where only
// the exception's type matters, QVERIFY_THROWS_EXCEPTION says it better.
QString ThrownMessage(const std::function<void()>& action);
